#include "pack.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "datadir.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "packer/pack.hpp"
#include "prep.hpp"
#include "report.hpp"
#include "structure_file.hpp"
#include "tables.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: vorb-tools pack MODEL -o OUT [--keep-existing] [--ideal-cb] [--data DIR] [--repeat N]\n"
    "                       [--set NAME=X]\n"
    "  MODEL            PDB or mmCIF, optionally gzipped; every chain of the first model is\n"
    "                   packed, across chain interfaces; hetero groups and waters stay and act\n"
    "                   as obstacles; OUT holds the first model only\n"
    "  --keep-existing  keep side chains complete in MODEL, pack only the others\n"
    "  --ideal-cb       place every CB from N, CA and C (default: a CB in MODEL is kept)\n"
    "  --data DIR       data directory holding rotamers and tables/ (default: found)\n"
    "  --repeat N       pack N times (the same result; for timing the packing alone)\n"
    "  --set NAME=X     energy weight or search setting (for tuning): w_rot, w_rep, eps_lj,\n"
    "                   radius_scale, w_clash, clash_scale, w_hb, hb_lo, hb_hi, hb_r0, w_ss,\n"
    "                   expand_prob, prune, restarts, fine_max, w_fine_clash, clash_limit,\n"
    "                   hb_limit,\n"
    "                   intra (0 or 1), intra_hb (0 or 1)\n"
    "  OUT              .cif or .mmcif for mmCIF, PDB otherwise\n"
    "exit status: 0 with OUT written; 2 for rejected input (nothing written)";

bool backbone_atom(const std::string& n) {
  return n == "N" || n == "CA" || n == "C" || n == "O" || n == "OXT" || n == "H" || n == "H1" ||
         n == "H2" || n == "H3" || n == "HA" || n == "HA2" || n == "HA3" || n == "D" ||
         n == "HXT";
}

std::string label(const FileResidue& r) {
  std::string s = r.name + " " + r.chain + " " + std::to_string(r.num);
  if (r.icode != ' ' && r.icode != '\0') s += r.icode;
  return s;
}

// Up to eight labels, then the count of the rest.
std::string list(const std::vector<std::string>& v) {
  std::string s;
  for (std::size_t k = 0; k < v.size() && k < 8; ++k) s += (k ? ", " : "") + v[k];
  if (v.size() > 8) s += ", ... (" + std::to_string(v.size()) + " in all)";
  return s;
}

packer::Atom to_atom(const FileAtom& a) {
  return {a.name, a.element.empty() ? 'C' : a.element[0],
          Vec3{float(a.x), float(a.y), float(a.z)}};
}

void set_param(packer::Params& p, const std::string& kv) {
  const std::size_t eq = kv.find('=');
  const std::string key = kv.substr(0, eq == std::string::npos ? kv.size() : eq);
  char* end = nullptr;
  const std::string v = eq == std::string::npos ? "" : kv.substr(eq + 1);
  const float x = std::strtof(v.c_str(), &end);
  if (v.empty() || *end != '\0' || !std::isfinite(x)) throw InputError("--set " + kv + ": expected NAME=NUMBER");
  float* f = key == "w_rot" ? &p.w_rot : key == "w_rep" ? &p.w_rep : key == "eps_lj" ? &p.eps_lj
           : key == "radius_scale" ? &p.radius_scale : key == "w_hb" ? &p.w_hb
           : key == "w_ss" ? &p.w_ss : key == "expand_prob" ? &p.expand_prob
           : key == "prune" ? &p.prune : key == "hb_lo" ? &p.hb_lo : key == "hb_hi" ? &p.hb_hi
           : key == "hb_r0" ? &p.hb_r0 : key == "w_clash" ? &p.w_clash
           : key == "clash_scale" ? &p.clash_scale : key == "fine_max" ? &p.fine_max
           : key == "w_fine_clash" ? &p.w_fine_clash : key == "clash_limit" ? &p.clash_limit
           : key == "hb_limit" ? &p.hb_limit
           : nullptr;
  if (f) *f = x;
  else if (key == "restarts" && x >= 0 && x <= 1000) p.restarts = int(x);
  else if ((key == "intra" || key == "intra_hb") && (x == 0 || x == 1)) (key == "intra" ? p.intra : p.intra_hb) = x == 1;
  else throw InputError("--set " + kv + ": unknown setting or value out of range");
}

}  // namespace

std::string rotamer_library_path(const std::string& data_dir) {
  std::error_code ec;
  const std::string path = (fs::path(data_dir) / "rotamers").string();
  if (!fs::is_regular_file(path, ec)) throw InputError(path, 0, "no rotamer library");
  return path;
}

PackData read_pack_data(const std::string& data_dir) {
  const std::string data = find_data_dir(data_dir);
  PackData d;
  d.rotamers = std::make_shared<const packer::RotamerLibrary>(
      packer::RotamerLibrary::read(rotamer_library_path(data)));
  d.geometry = std::make_shared<const packer::SideChainGeometry>(packer::SideChainGeometry::read(
      (fs::path(find_tables_dir(data)) / "geometry.txt").string()));
  return d;
}

void pack_structure(const PackOptions& opt) {
  std::error_code ec;
  const fs::path out_dir = fs::absolute(opt.output).parent_path();
  if (!fs::is_directory(out_dir, ec))
    throw InputError(opt.output + ": the directory " + out_dir.string() + " does not exist");
  const PackData data = read_pack_data(opt.data);
  StructureFile file = StructureFile::read(opt.input);
  const PackSummary sum = pack_file(file, opt, data);
  std::string text = file.text(opt.output);
  OutputFile out(opt.output);
  std::istringstream lines(text);
  std::string l;
  while (std::getline(lines, l)) out.line(l);
  out.commit();
  report("packed " + std::to_string(sum.packed) + " residue(s) (" + std::to_string(sum.rotamers) +
         " candidate rotamers), kept " + std::to_string(sum.kept) + " side chain(s); written to " +
         opt.output);
}

PackSummary pack_file(StructureFile& file, const PackOptions& opt, const PackData& data) {
  const packer::RotamerLibrary& lib = *data.rotamers;
  const packer::SideChainGeometry& geo = *data.geometry;
  const std::vector<FileResidue> res = file.residues();
  std::vector<packer::Residue> in;
  std::vector<packer::Atom> others;
  std::vector<std::size_t> file_index;  // residue k of `in` is residue file_index[k] of res
  std::vector<std::string> lacking, unknown;
  int kept = 0;
  for (std::size_t k = 0; k < res.size(); ++k) {
    const FileResidue& r = res[k];
    // One conformation: atoms without alternate location or of the first one met.
    char alt = '\0';
    std::vector<const FileAtom*> atoms;
    for (const FileAtom& a : r.atoms) {
      if (a.altloc != '\0' && alt == '\0') alt = a.altloc;
      if (a.altloc == '\0' || a.altloc == alt) atoms.push_back(&a);
    }
    if (!r.polymer) {
      for (const FileAtom* a : atoms) others.push_back(to_atom(*a));
      continue;
    }
    packer::Residue p;
    p.name = r.name;
    const packer::ScTopology* t = geo.topology(r.name);
    auto has = [&](const std::string& n) {
      for (const FileAtom* a : atoms)
        if (a->name == n) return true;
      return false;
    };
    const bool standard = residue_type(r.name) != 0;
    const bool frame = has("N") && has("CA") && has("C");
    if (!standard) unknown.push_back(label(r));
    else if (!frame) lacking.push_back(label(r));
    bool complete = t != nullptr && has("CB");
    if (t)
      for (const packer::ScAtom& a : t->atoms) complete = complete && has(a.name);
    p.pack = standard && frame && t != nullptr && !(opt.keep_existing && complete);
    if (opt.keep_existing && standard && frame && complete) ++kept;
    for (const FileAtom* a : atoms)
      if (!p.pack || backbone_atom(a->name) || (a->name == "CB" && opt.keep_cb))
        p.atoms.push_back(to_atom(*a));
    in.push_back(std::move(p));
    file_index.push_back(k);
  }
  if (!lacking.empty())
    warn("warning: " + std::to_string(lacking.size()) +
         " residue(s) lack N, CA or C and keep what they have: " + list(lacking));
  if (!unknown.empty())
    warn("warning: " + std::to_string(unknown.size()) + " residue(s) outside the twenty kept unchanged: " +
         list(unknown));

  packer::Result result = packer::pack(in, others, lib, geo, opt.params);
  for (int k = 1; k < opt.repeat; ++k) result = packer::pack(in, others, lib, geo, opt.params);
  int packed = 0;
  for (std::size_t k = 0; k < in.size(); ++k) {
    if (!in[k].pack) continue;
    ++packed;
    const FileResidue& r = res[file_index[k]];
    std::vector<std::string> remove;
    for (const FileAtom& a : r.atoms)
      if (!backbone_atom(a.name)) remove.push_back(a.name);  // side chain, its hydrogens too
    std::vector<FileAtom> add;
    for (const packer::Atom& a : result.side[k])
      add.push_back({a.name, std::string(1, a.element), '\0', a.p.x, a.p.y, a.p.z});
    file.replace_atoms(file_index[k], remove, add);
  }
  return {packed, result.rotamers, kept};
}

int cmd_pack(const Args& args) {
  PackOptions opt;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    const bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      opt.output = args[++k];
    } else if (a == "--data" && has_value) {
      opt.data = args[++k];
    } else if (a == "--set" && has_value) {
      set_param(opt.params, args[++k]);
    } else if (a == "--repeat" && has_value) {
      const std::string& v = args[++k];
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 1 || n > 10000) throw InputError("--repeat " + v + ": expected 1..10000");
      opt.repeat = int(n);
    } else if (a == "--ideal-cb") {
      opt.keep_cb = false;
    } else if (a == "--keep-existing") {
      opt.keep_existing = true;
    } else if (!a.empty() && a[0] == '-') {
      throw InputError(kUsage);
    } else if (opt.input.empty()) {
      opt.input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (opt.input.empty() || opt.output.empty()) throw InputError(kUsage);
  pack_structure(opt);
  return 0;
}

}  // namespace vorb::tools
