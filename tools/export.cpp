#include "export.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "hdd_residues.hpp"
#include "io/ffmt.hpp"
#include "io/input_file.hpp"
#include "io/output_file.hpp"
#include "io/pdb_read.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace {

constexpr const char* kUsage =
    "usage: vorb-tools export MODEL [--map residues.tsv] [-o OUT.pdb | -o OUT.cif]\n"
    "  MODEL  a model written by VORB (name.h, name.fix); the map defaults to residues.tsv\n"
    "         beside MODEL when there is one; \"-\" reads standard input (give --map then)\n"
    "  without -o, or with -o -, the PDB text goes to standard output";

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> f;
  std::size_t start = 0;
  for (;;) {
    std::size_t t = line.find('\t', start);
    f.push_back(line.substr(start, t == std::string::npos ? std::string::npos : t - start));
    if (t == std::string::npos) return f;
    start = t + 1;
  }
}

}  // namespace

std::vector<ModelAtom> read_model(const std::string& path) {
  std::ifstream file;
  if (path != "-" && !open_input(file, path)) throw InputError(path, 0, "cannot open the model");
  std::istream& in = path == "-" ? std::cin : file;
  std::vector<ModelAtom> atoms;
  std::string line;
  int line_no = 0;
  while (ffmt::get_line(in, line)) {
    ++line_no;
    if (line.size() > 100) line.resize(100);
    if (pdb_stop_line(line)) break;
    if (!pdb_take_line(line)) continue;
    ffmt::RecordReader r(line, path, line_no);
    ModelAtom a;
    r.x(12);
    a.name4 = r.a(4);
    r.x(1);
    a.res3 = r.a(3);
    r.x(2);
    a.resnum = r.i(4);
    r.x(4);
    a.x = r.fd(8, 3);
    a.y = r.fd(8, 3);
    a.z = r.fd(8, 3);
    atoms.push_back(a);
  }
  if (atoms.empty()) throw InputError(path, 0, "no ATOM records");
  return atoms;
}

std::vector<MapRow> read_residue_map(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path, 0, "cannot open the residue map");
  std::vector<MapRow> rows;
  std::string line;
  int line_no = 0;
  while (ffmt::get_line(in, line)) {
    ++line_no;
    if (line_no == 1 && line.rfind("number\t", 0) == 0) continue;
    if (line.empty()) continue;
    std::vector<std::string> f = split_tabs(line);
    long num = 0, orig = 0;
    if (f.size() < 5 || !ffmt::parse_i(f[0], num) || !ffmt::parse_i(f[3], orig) ||
        f[1].size() != 3 || f[2].empty() || f[4].size() != 1)
      throw InputError(path, line_no,
                       "expected number, residue, chain, input number, insertion code (tabs)");
    if (num != long(rows.size()) + 1)
      throw InputError(path, line_no, "expected residue " + std::to_string(rows.size() + 1) +
                                          ", found " + f[0]);
    MapRow row;
    row.residue = f[1];
    row.chain = f[2];
    row.number = int(orig);
    row.icode = f[4] == "." ? ' ' : f[4][0];
    rows.push_back(row);
  }
  if (rows.empty()) throw InputError(path, 0, "no residues");
  return rows;
}

std::string standard_atom_name(const std::string& res3, const std::string& name4) {
  const std::string name = trim(name4);
  if (name4.size() != 4 || name4[1] != 'H' || name4[0] < '1' || name4[0] > '9') return name;
  const char d = name4[0];
  const std::string base = trim(name4.substr(1));  // "HB", "HG1", "H"
  if (base == "H") return std::string("H") + d;    // amino-terminal H1, H2, H3
  const int type = residue_type(res3);
  if (type == 0) return name;
  // Two hydrogens on a carbon are numbered 2 and 3 (HB2, HB3); methyl, amino and guanidino
  // hydrogens 1, 2, 3 (HG21, HD21, HH11, HZ1).
  int count = 0;
  char parent = ' ';
  for (const TemplateHydrogen& h : residue_template(type).hydrogens) {
    if (h.name4[0] < '1' || h.name4[0] > '9' || trim(h.name4.substr(1)) != base) continue;
    ++count;
    parent = h.parent[0];
  }
  if (count == 0) return name;
  return base + char(count == 2 && parent == 'C' ? d + 1 : d);
}

ExportFormat format_for(const std::string& path) {
  auto ends = [&](const std::string& e) {
    return path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0;
  };
  return ends(".cif") || ends(".mmcif") ? ExportFormat::mmcif : ExportFormat::pdb;
}

void export_model(const std::string& model_path, const std::string& map_path,
                  const std::string& out_path) {
  const std::vector<ModelAtom> atoms = read_model(model_path);
  const std::vector<MapRow> map =
      map_path.empty() ? std::vector<MapRow>{} : read_residue_map(map_path);
  const bool to_stdout = out_path.empty() || out_path == "-";
  const ExportFormat format = to_stdout ? ExportFormat::pdb : format_for(out_path);
  const std::string title = to_stdout
                                ? std::filesystem::path(model_path).filename().string()
                                : std::filesystem::path(out_path).stem().string();
  const std::string text = export_text(atoms, map, format, title);
  if (out_path.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return;
  }
  OutputFile out(out_path);
  std::istringstream lines(text);
  std::string l;
  while (std::getline(lines, l)) out.line(l);
  out.commit();
}

int cmd_export(const Args& args) {
  std::string model, map, out;
  bool map_given = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      out = args[++k];
    } else if (a == "--map" && has_value) {
      map = args[++k];
      map_given = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else if (model.empty()) {
      model = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (model.empty()) throw InputError(kUsage);
  if (!map_given && model != "-") {
    std::filesystem::path beside = std::filesystem::path(model).parent_path() / "residues.tsv";
    std::error_code ec;
    if (std::filesystem::is_regular_file(beside, ec)) map = beside.string();
  }
  export_model(model, map, out);
  return 0;
}

}  // namespace vorb::tools
