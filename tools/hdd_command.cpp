// vorb-tools hdd: the topology file of a structure's sequence or of a one-letter sequence.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>

#include "commands.hpp"
#include "hdd.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "outputs.hpp"
#include "io/pdb_read.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "structure.hpp"

namespace vorb::tools {
namespace {

constexpr const char* kUsage =
    "usage: vorb-tools hdd INPUT.pdb [-o Hdd] [--renumbered OUT.pdb] [--data DIR]\n"
    "       vorb-tools hdd --sequence SEQ [-o Hdd] [--data DIR]";

std::string residue_label(const Residue& r) {
  std::string s = r.name + " " + std::to_string(r.num);
  if (r.icode != ' ') s += r.icode;
  return s;
}

std::vector<int> sequence_types(const std::string& seq) {
  std::vector<int> types;
  for (std::size_t k = 0; k < seq.size(); ++k) {
    int t = residue_type_1(char(std::toupper(static_cast<unsigned char>(seq[k]))));
    if (t == 0)
      throw InputError("--sequence: \"" + std::string(1, seq[k]) + "\" at position " +
                       std::to_string(k + 1) +
                       " is not the one-letter code of a standard residue (ACDEFGHIKLMNPQRSTVWY)");
    types.push_back(t);
  }
  if (types.empty()) throw InputError("--sequence: the sequence is empty");
  return types;
}

std::vector<int> structure_types(const std::string& path, const Chain& c) {
  if (c.res.empty())
    throw InputError(path, 0,
                     "no ATOM records before the first TER or END (HETATM records are not read)");
  std::vector<int> types;
  for (const Residue& r : c.res) {
    if (r.type == 0)
      throw InputError(path, 0,
                       "residue " + residue_label(r) +
                           " is not one of the 20 standard amino acids (rename or "
                           "remove it; HETATM records are not read)");
    types.push_back(r.type);
  }
  return types;
}

// Tells how the file's numbering meets the program's: the building modes match residues by
// number 1..n, the analysis modes start a residue whenever the number increases.
void numbering_warnings(const std::string& path, const Chain& c, bool renumbering) {
  int jumps = 0, falls = 0;
  std::string first_jump, first_fall;
  for (std::size_t k = 1; k < c.res.size(); ++k) {
    const Residue &a = c.res[k - 1], &b = c.res[k];
    if (b.num <= a.num) {
      if (falls++ == 0) first_fall = residue_label(a) + " to " + residue_label(b);
    } else if (b.num > a.num + 1) {
      if (jumps++ == 0) first_jump = residue_label(a) + " to " + residue_label(b);
    }
  }
  if (jumps)
    std::fprintf(stderr,
                 "vorb-tools hdd: warning: %s: residue numbering jumps %d time(s), first from %s; "
                 "the topology joins the residues on either side\n",
                 path.c_str(), jumps, first_jump.c_str());
  if (falls)
    std::fprintf(stderr,
                 "vorb-tools hdd: warning: %s: residue numbers do not increase %d time(s), first "
                 "from %s (insertion codes or a restart); the analysis modes would merge such "
                 "residues\n",
                 path.c_str(), falls, first_fall.c_str());
  bool one_to_n = c.res.front().num == 1 && !jumps && !falls;
  if (!one_to_n && !renumbering)
    std::fprintf(stderr,
                 "vorb-tools hdd: note: %s is not numbered 1..%zu as the building modes need; "
                 "--renumbered OUT.pdb writes a copy that is\n",
                 path.c_str(), c.res.size());
}

// Copy of the taken ATOM records with residues numbered 1..n in file order (insertion codes
// cleared), grouped as the chain reader groups them, then TER and END.
std::vector<std::string> renumbered_lines(const std::string& input, std::size_t nres) {
  std::ifstream in(input, std::ios::binary);
  if (!in) throw InputError(input, 0, "cannot open structure file");
  std::vector<std::string> out;
  std::string line;
  int line_no = 0, num = 0;
  bool have = false;
  int prev_num = 0;
  char prev_icode = ' ';
  std::string prev_name;
  while (ffmt::get_line(in, line)) {
    ++line_no;
    std::string head = line.substr(0, 100);
    if (pdb_stop_line(head)) break;
    if (!pdb_take_line(head)) continue;
    ffmt::RecordReader r(head, input, line_no);
    r.x(17);
    std::string name = r.a(3);
    r.x(2);
    int file_num = r.i(4);
    char icode = head.size() > 26 ? head[26] : ' ';
    if (!have || file_num != prev_num || icode != prev_icode || name != prev_name) ++num;
    have = true;
    prev_num = file_num;
    prev_icode = icode;
    prev_name = name;
    if (line.size() < 27) line.resize(27, ' ');
    line.replace(22, 4, ffmt::fmt_i(num, 4));
    line[26] = ' ';
    out.push_back(line);
  }
  if (std::size_t(num) != nres) throw std::logic_error("renumbered copy disagrees with the chain");
  out.push_back("TER");
  out.push_back("END");
  return out;
}

}  // namespace

int cmd_hdd(const Args& args) {
  std::string input, output = "Hdd", renumbered, sequence, data;
  bool have_sequence = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      output = args[++k];
    } else if (a == "--renumbered" && has_value) {
      renumbered = args[++k];
    } else if (a == "--sequence" && has_value) {
      sequence = args[++k];
      have_sequence = true;
    } else if (a == "--data" && has_value) {
      data = args[++k];
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else if (input.empty()) {
      input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (have_sequence == !input.empty() || (have_sequence && !renumbered.empty()))
    throw InputError(kUsage);
  if (input == "-" && !renumbered.empty())
    throw InputError("--renumbered reads the input twice: give a file, not standard input");

  std::vector<int> types;
  Chain chain;
  if (have_sequence) {
    types = sequence_types(sequence);
  } else {
    chain = read_chain(input);
    types = structure_types(input, chain);
  }
  Tables tables = read_tables(find_tables_dir(data));
  Topology top = build_topology(types, tables);
  if (!have_sequence) numbering_warnings(input, chain, !renumbered.empty());
  // The topology and the renumbered copy appear together or not at all: both are written and
  // closed before either is renamed into place.
  std::vector<std::string> copy;
  if (!renumbered.empty()) copy = renumbered_lines(input, chain.res.size());
  OutputFile hdd(output);
  for (const std::string& l : hdd_lines(top, tables)) hdd.line(l);
  std::unique_ptr<OutputFile> ren;
  if (!renumbered.empty()) {
    ren = std::make_unique<OutputFile>(renumbered);
    for (const std::string& l : copy) ren->line(l);
  }
  hdd.close();
  if (ren) ren->close();
  hdd.commit();
  if (ren) ren->commit();
  std::fprintf(report_stream(output), "%s: %zu residues, %zu atoms, %zu angle records\n", output.c_str(), types.size(),
              top.atoms.size(), top.angles.size());
  return 0;
}

}  // namespace vorb::tools
