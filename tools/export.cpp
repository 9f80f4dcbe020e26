#include "export.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
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
    "usage: vorb-tools export MODEL [--map residues.tsv] [--input input.pdb | --lattice-frame]\n"
    "                         [-o OUT.pdb | -o OUT.cif]\n"
    "  MODEL    a model written by VORB (name.h, name.fix); the map defaults to residues.tsv\n"
    "           beside MODEL when there is one; \"-\" reads standard input (give --map then)\n"
    "  --input  the structure VORB read (default: MODEL without .h or .fix, else input.pdb\n"
    "           beside MODEL, when there is one); the model is moved back into its frame by the\n"
    "           translation that puts the model's C-alpha atoms onto the input's\n"
    "  --lattice-frame  keep the coordinates of MODEL as they are\n"
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
  InputFile file;
  if (path != "-" && !open_input(file, path)) throw InputError(path, 0, "cannot open the model");
  return read_model_stream(path == "-" ? std::cin : file, path);
}

std::vector<ModelAtom> read_model_stream(std::istream& in, const std::string& path) {
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
  return read_residue_map_stream(in, path);
}

std::vector<MapRow> read_residue_map_stream(std::istream& in, const std::string& path) {
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
        f[1].size() != 3 || f[4].size() != 1)
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

std::array<double, 3> frame_offset(const std::vector<ModelAtom>& model,
                                   const std::vector<ModelAtom>& input, int& matched) {
  std::map<int, const ModelAtom*> ca;  // the first C-alpha atom of each model residue
  for (const ModelAtom& m : model)
    if (m.name4 == " CA ") ca.emplace(m.resnum, &m);
  std::array<std::vector<double>, 3> d;
  for (const ModelAtom& a : input) {
    if (a.name4 != " CA ") continue;
    const auto it = ca.find(a.resnum);
    if (it == ca.end()) continue;
    d[0].push_back(it->second->x - a.x);
    d[1].push_back(it->second->y - a.y);
    d[2].push_back(it->second->z - a.z);
  }
  matched = int(d[0].size());
  std::array<double, 3> off{0, 0, 0};
  if (d[0].empty()) return off;
  for (int k = 0; k < 3; ++k) {
    std::vector<double>& v = d[std::size_t(k)];
    auto mid = v.begin() + long((v.size() - 1) / 2);
    std::nth_element(v.begin(), mid, v.end());
    off[std::size_t(k)] = *mid;
  }
  return off;
}

void shift_atoms(std::vector<ModelAtom>& atoms, const std::array<double, 3>& offset) {
  for (ModelAtom& a : atoms) {
    a.x -= offset[0];
    a.y -= offset[1];
    a.z -= offset[2];
  }
}

std::vector<OutResidue> model_residues(const std::vector<ModelAtom>& atoms,
                                       const std::vector<MapRow>& map) {
  std::vector<OutResidue> out;
  const ModelAtom* prev = nullptr;
  for (const ModelAtom& a : atoms) {
    if (!prev || a.resnum != prev->resnum || a.res3 != prev->res3) {
      OutResidue r;
      r.name = a.res3;
      r.chain = "A";
      r.number = a.resnum;
      if (!map.empty()) {
        if (a.resnum < 1 || std::size_t(a.resnum) > map.size())
          throw InputError("residue " + std::to_string(a.resnum) +
                           " of the model is not in the residue map (1.." +
                           std::to_string(map.size()) + ")");
        const MapRow& row = map[std::size_t(a.resnum - 1)];
        if (row.residue != a.res3)
          throw InputError("residue " + std::to_string(a.resnum) + " is " + a.res3 +
                           " in the model but " + row.residue + " in the residue map");
        r.chain = row.chain;
        r.number = row.number;
        r.icode = row.icode;
      }
      out.push_back(r);
    }
    prev = &a;
    OutAtom at;
    at.name = standard_atom_name(a.res3, a.name4);
    at.element = std::string(1, a.name4[1]);
    at.x = a.x;
    at.y = a.y;
    at.z = a.z;
    out.back().atoms.push_back(at);
  }
  return out;
}

std::string export_text(const std::vector<ModelAtom>& atoms, const std::vector<MapRow>& map,
                        ExportFormat format, const std::string& title) {
  return structure_text(model_residues(atoms, map), format, title);
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

void write_text(const std::string& text, const std::string& out_path) {
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

std::array<double, 3> export_model(const std::string& model_path, const std::string& map_path,
                                   const std::string& input_path, const std::string& out_path) {
  std::vector<ModelAtom> atoms = read_model(model_path);
  const std::vector<MapRow> map =
      map_path.empty() ? std::vector<MapRow>{} : read_residue_map(map_path);
  std::array<double, 3> offset{0, 0, 0};
  if (!input_path.empty()) {
    int matched = 0;
    offset = frame_offset(atoms, read_model(input_path), matched);
    if (matched == 0)
      throw InputError(input_path, 0, "no C-alpha atom has the residue number of a C-alpha atom of " +
                                          model_path + ": not the input of this model");
    shift_atoms(atoms, offset);
  }
  const bool to_stdout = out_path.empty() || out_path == "-";
  const ExportFormat format = to_stdout ? ExportFormat::pdb : format_for(out_path);
  const std::string title = to_stdout
                                ? std::filesystem::path(model_path).filename().string()
                                : std::filesystem::path(out_path).stem().string();
  write_text(export_text(atoms, map, format, title), out_path);
  return offset;
}

int cmd_export(const Args& args) {
  std::string model, map, out, input;
  bool map_given = false, input_given = false, lattice = false;
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
    } else if (a == "--input" && has_value) {
      input = args[++k];
      input_given = true;
    } else if (a == "--lattice-frame") {
      lattice = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else if (model.empty()) {
      model = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (model.empty() || (lattice && input_given)) throw InputError(kUsage);
  if (model == "-" && !input_given) lattice = true;  // no input beside a stream
  const std::filesystem::path dir = std::filesystem::path(model).parent_path();
  std::error_code ec;
  if (!map_given && model != "-" && std::filesystem::is_regular_file(dir / "residues.tsv", ec))
    map = (dir / "residues.tsv").string();
  if (!input_given && !lattice) {
    // VORB names its models after the input: input.pdb.h, input.pdb.fix.
    std::string stem = model;
    for (const std::string suffix : {".h", ".fix"})
      if (stem.size() > suffix.size() &&
          stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
        stem.resize(stem.size() - suffix.size());
    if (stem != model && std::filesystem::is_regular_file(stem, ec))
      input = stem;
    else if (std::filesystem::is_regular_file(dir / "input.pdb", ec))
      input = (dir / "input.pdb").string();
  }
  export_model(model, map, input, out);
  return 0;
}

}  // namespace vorb::tools
