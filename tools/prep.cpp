#include "prep.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "datadir.hpp"
#include "dssp.hpp"
#include "hdd.hpp"
#include "hdd_residues.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kExamples = 5;
constexpr float kPeptideBond = 2.0f;  // C-N at most this: bonded
constexpr float kCaCaBond = 4.2f;     // CA-CA at most this: consecutive, when C or N is absent

constexpr const char* kUsage =
    "usage: vorb-tools prep INPUT [--chain ID] [--model N] [--ca] [--data DIR] -o DIR\n"
    "  INPUT  PDB or mmCIF file, optionally gzipped, \"-\" for standard input; one model and one\n"
    "         protein chain are taken\n"
    "  --chain  the chain (' ' for a blank one); default: the first protein chain\n"
    "  --ca   keep the C-alpha atoms only (a trace to complete)";

std::string join(const std::vector<std::string>& v, const char* sep = ", ") {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : sep) + x;
  return s;
}

}  // namespace

void Tally::add(const std::string& example, int n) {
  count += n;
  if (examples.size() < kExamples) examples.push_back(example);
}

std::string Tally::text() const {
  std::string s = std::to_string(count) + " (" + join(examples);
  return s + (examples.size() < std::size_t(count) && examples.size() == kExamples ? ", ...)" : ")");
}

std::string original_label(const PrepResidue& r) {
  std::string s = r.input_name + " " + r.chain + " " + std::to_string(r.num);
  if (r.icode != ' ') s += r.icode;
  return s;
}

bool Prepared::backbone_complete() const {
  for (const PrepResidue& r : res)
    for (const char* a : {" N  ", " CA ", " C  ", " O  "})
      if (!r.res.has(a)) return false;
  return true;
}

Chain Prepared::chain_view() const {
  Chain c;
  c.source = source;
  for (const PrepResidue& r : res) c.res.push_back(r.res);
  return c;
}

std::string chain_label(const std::string& chain) { return chain.empty() ? "' '" : chain; }

void finish_prepared(Prepared& p, bool allow_short) {
  if (p.res.size() < 3 && !allow_short)
    throw InputError(p.source, 0, "chain " + chain_label(p.chain) + " has " + std::to_string(p.res.size()) +
                                      " residue(s) with atoms" + (p.ca_only ? " (C-alpha)" : "") +
                                      "; at least 3 are needed");
  PrepNotes& n = p.notes;
  for (std::size_t k = 0; k < p.res.size(); ++k) {
    PrepResidue& r = p.res[k];
    r.res.num = int(k) + 1;
    // The topology has OXT on the last residue only.
    if (k + 1 < p.res.size()) {
      for (std::size_t a = 0; a < r.res.atoms.size(); ++a) {
        if (r.res.atoms[a].first != " OXT") continue;
        n.unknown_atoms.add(original_label(r) + ": OXT inside the chain");
        r.res.atoms.erase(r.res.atoms.begin() + long(a));
        r.pos.erase(r.pos.begin() + long(a));
        r.b.erase(r.b.begin() + long(a));
        break;
      }
    }
    if (!p.ca_only) {
      std::vector<std::string> absent;
      for (const std::string& h : residue_template(r.res.type).heavy)
        if (!r.res.has(heavy_name4(h))) absent.push_back(h);
      if (!absent.empty()) n.missing.add(original_label(r) + ": " + join(absent, " "), int(absent.size()));
    }
  }
  find_breaks(p);
}

void find_breaks(Prepared& p) {
  p.breaks.clear();
  p.notes.breaks = Tally{};
  for (std::size_t k = 1; k < p.res.size(); ++k) {
    const Residue& a = p.res[k - 1].res;
    const Residue& b = p.res[k].res;
    const Vec3 *c = a.find(" C  "), *nn = b.find(" N  ");
    const Vec3 *ca1 = a.find(" CA "), *ca2 = b.find(" CA ");
    bool broken = false;
    if (c && nn)
      broken = dist(*c, *nn) > kPeptideBond;
    else if (ca1 && ca2)
      broken = dist(*ca1, *ca2) > kCaCaBond;
    if (!broken) continue;
    p.notes.breaks.add(original_label(p.res[k - 1]) + " - " + original_label(p.res[k]));
    p.breaks.push_back(k);
  }
}

std::vector<std::string> input_pdb_lines(const Prepared& p) {
  std::vector<std::string> lines;
  int serial = 0;
  const std::string chain = p.chain.size() == 1 ? p.chain : " ";
  for (const PrepResidue& r : p.res) {
    for (std::size_t a = 0; a < r.res.atoms.size(); ++a) {
      const std::string& name = r.res.atoms[a].first;
      for (double v : r.pos[a])
        if (!(v > -999.9995 && v < 9999.9995))
          throw InputError(p.source, 0, "atom " + name + " of " + original_label(r) +
                                            " lies outside the coordinate range of the PDB "
                                            "columns (-999.999 to 9999.999)");
      float b = std::min(std::max(r.b[a], -99.99f), 999.99f);
      // Standard ATOM columns: serial 7-11, name 13-16, residue 18-20, chain 22, number 23-26,
      // x y z 31-54, occupancy 55-60, B 61-66, element 77-78.
      ffmt::RecordWriter w;
      w.a("ATOM  ").i(++serial, 5).x(1).a(name, 4).x(1).a(r.res.name, 3).x(1).a(chain, 1);
      w.i(r.res.num, 4).x(4).f(r.pos[a][0], 8, 3).f(r.pos[a][1], 8, 3).f(r.pos[a][2], 8, 3);
      w.f(1.0, 6, 2).f(b, 6, 2).x(10).a(std::string(1, name[1]), 2);
      lines.push_back(w.str());
    }
  }
  lines.push_back("TER");
  lines.push_back("END");
  return lines;
}

std::vector<std::string> residue_map_lines(const Prepared& p) {
  std::vector<std::string> lines{"number\tresidue\tchain\tinput_number\tinsertion\tinput_residue"};
  for (const PrepResidue& r : p.res)
    lines.push_back(std::to_string(r.res.num) + "\t" + r.res.name + "\t" + r.chain + "\t" +
                    std::to_string(r.num) + "\t" + (r.icode == ' ' ? "." : std::string(1, r.icode)) +
                    "\t" + r.input_name);
  return lines;
}

std::vector<std::string> seq_dat_lines(const Prepared& p) {
  Assignment as = assign_secondary(p.chain_view());
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < p.res.size(); ++k) {
    ffmt::RecordWriter w;
    w.i(p.res[k].res.num, 5).x(3).a(p.res[k].res.name, 3).x(1).i(three_state(as.ss[k]), 4);
    w.x(1).i(9, 4);
    lines.push_back(w.str());
  }
  return lines;
}

namespace {

void write_lines(const std::string& path, const std::vector<std::string>& lines) {
  OutputFile out(path);
  for (const std::string& l : lines) out.line(l);
  out.commit();
}

}  // namespace

std::vector<PreparedFile> prepared_files(const Prepared& p, const Tables& t) {
  std::vector<int> types;
  for (const PrepResidue& r : p.res) types.push_back(r.res.type);
  const Topology top = build_topology(types, t);
  std::vector<PreparedFile> files{{"input.pdb", input_pdb_lines(p)},
                                  {"Hdd", hdd_lines(top, t)},
                                  {"residues.tsv", residue_map_lines(p)}};
  if (p.backbone_complete()) files.push_back({"seq.dat", seq_dat_lines(p)});
  return files;
}

void write_prepared(const Prepared& p, const Tables& t, const std::string& dir) {
  // Everything is made before anything is written.
  const std::vector<PreparedFile> files = prepared_files(p, t);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) throw InputError(dir, 0, "cannot create the directory");
  const fs::path d(dir);
  for (const PreparedFile& f : files) write_lines((d / f.name).string(), f.lines);
  if (!p.backbone_complete()) fs::remove(d / "seq.dat", ec);  // an older one would describe another chain
  // Models of an earlier input.pdb would pass for models of this one.
  fs::remove(d / "input.pdb.h", ec);
  fs::remove(d / "input.pdb.fix", ec);
}

std::vector<std::string> prep_report(const Prepared& p) {
  const PrepNotes& n = p.notes;
  std::vector<std::string> out;
  out.push_back(p.source + ": model " + n.model + ", chain " + chain_label(p.chain) + ": " +
                std::to_string(p.res.size()) + " residues (" + original_label(p.res.front()) +
                " to " + original_label(p.res.back()) + ") numbered 1.." +
                std::to_string(p.res.size()) + (p.ca_only ? ", C-alpha atoms only" : ""));
  std::vector<std::string> dropped, kept;
  std::vector<std::string>& het = p.hetero_kept ? kept : dropped;
  if (n.waters) het.push_back(std::to_string(n.waters) + " water(s)");
  if (!n.hetero.empty()) {
    std::vector<std::string> h;
    for (const auto& [name, count] : n.hetero) h.push_back(name + " x" + std::to_string(count));
    het.push_back("hetero groups " + join(h));
  }
  if (!kept.empty()) out.push_back("  copied unchanged into the output: " + join(kept, "; "));
  if (n.hydrogens) dropped.push_back(std::to_string(n.hydrogens) + " hydrogen(s) (rebuilt by the program)");
  if (n.altloc) dropped.push_back(std::to_string(n.altloc) + " atom(s) of alternate locations other than A");
  if (n.duplicates) dropped.push_back(std::to_string(n.duplicates) + " repeated atom(s)");
  if (!dropped.empty()) out.push_back("  dropped: " + join(dropped, "; "));
  if (n.unknown_atoms.count) out.push_back("  atoms of no residue template dropped: " + n.unknown_atoms.text());
  if (n.empty_residues.count) out.push_back("  residues without atoms dropped: " + n.empty_residues.text());
  if (n.mse) out.push_back("  MSE made MET (SE as SD): " + std::to_string(n.mse) + " residue(s)");
  if (!n.modified.empty())
    out.push_back("  modified residues modelled and named as their parent: " + join(n.modified));
  if (!n.other_chains.empty()) {
    std::vector<std::string> names;
    for (const std::string& c : n.other_chains) names.push_back(chain_label(c));
    out.push_back("  chains not taken: " + join(names));
  }
  if (n.other_models) out.push_back("  models not taken: " + std::to_string(n.other_models));
  if (n.missing.count) out.push_back("  heavy atoms missing: " + n.missing.text());
  if (n.breaks.count) out.push_back("  chain breaks: " + n.breaks.text());
  if (p.backbone_complete()) {
    int helix = 0, strand = 0;
    for (const std::string& l : seq_dat_lines(p)) {
      int code = std::stoi(l.substr(12, 4));
      helix += code == 2;
      strand += code == 4;
    }
    out.push_back("  seq.dat: " + std::to_string(helix) + " helix, " + std::to_string(strand) +
                  " strand, " + std::to_string(int(p.res.size()) - helix - strand) + " coil residues");
  } else {
    out.push_back("  seq.dat not written: the backbone (N, CA, C, O) is incomplete");
  }
  return out;
}

int cmd_prep(const Args& args) {
  PrepOptions opt;
  std::string input, dir, data;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      dir = args[++k];
    } else if (a == "--chain" && has_value) {
      opt.chain = args[++k];
    } else if (a == "--model" && has_value) {
      opt.model = args[++k];
    } else if (a == "--data" && has_value) {
      data = args[++k];
    } else if (a == "--ca") {
      opt.ca_only = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else if (input.empty()) {
      input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (input.empty() || dir.empty()) throw InputError(kUsage);
  Prepared p = prepare_structure(input, opt);
  Tables tables = read_tables(find_tables_dir(find_data_dir(data)));
  write_prepared(p, tables, dir);
  for (const std::string& l : prep_report(p)) std::printf("%s\n", l.c_str());
  std::printf("  written: %s/{input.pdb,Hdd,residues.tsv%s}\n", dir.c_str(),
              p.backbone_complete() ? ",seq.dat" : "");
  return 0;
}

}  // namespace vorb::tools
