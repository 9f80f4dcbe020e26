#include "trace_regularize.hpp"

#include <cstdio>
#include <string_view>
#include <vector>

#include "export.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"
#include "regularize/regularize.hpp"

namespace vorb::tools {
namespace {

constexpr const char* kUsage =
    "usage: vorb-tools regularize INPUT [--chain ID] [--model N] -o OUT\n"
    "  moves the C-alpha atoms of a trace as little as it can so that consecutive residues are\n"
    "  3.8 A apart and other pairs at least 4.0 A; residues absent from INPUT are left out, a\n"
    "  short step before a proline (cis peptide) keeps its length\n"
    "  INPUT  PDB or mmCIF (optionally gzipped); only its C-alpha atoms are read\n"
    "  OUT    the C-alpha trace in the original numbering; .cif or .mmcif for mmCIF, PDB otherwise";

int ca_index(const PrepResidue& r) {
  for (std::size_t a = 0; a < r.res.atoms.size(); ++a)
    if (r.res.atoms[a].first == " CA ") return int(a);
  return -1;
}

std::vector<regularize::TraceResidue> trace_of(const Prepared& p, bool by_position) {
  std::vector<regularize::TraceResidue> out;
  for (const PrepResidue& r : p.res) {
    regularize::TraceResidue t;
    const int a = ca_index(r);
    t.present = a >= 0;
    if (t.present) t.ca = {r.pos[std::size_t(a)][0], r.pos[std::size_t(a)][1], r.pos[std::size_t(a)][2]};
    t.number = by_position ? r.res.num : r.num;
    t.proline = r.res.name == "PRO";
    out.push_back(t);
  }
  return out;
}

void put_back(Prepared& p, const std::vector<regularize::TraceResidue>& t) {
  for (std::size_t k = 0; k < p.res.size(); ++k) {
    const int a = ca_index(p.res[k]);
    if (a < 0) continue;
    for (int c = 0; c < 3; ++c) p.res[k].pos[std::size_t(a)][std::size_t(c)] = t[k].ca[std::size_t(c)];
    p.res[k].res.atoms[std::size_t(a)].second =
        Vec3{float(t[k].ca[0]), float(t[k].ca[1]), float(t[k].ca[2])};
  }
}

}  // namespace

RegularizeWhen parse_regularize(const std::string& word) {
  if (word == "auto") return RegularizeWhen::automatic;
  if (word == "on") return RegularizeWhen::on;
  if (word == "off") return RegularizeWhen::off;
  throw InputError("--regularize " + word + ": not one of auto, on, off");
}

bool is_trace(const Prepared& p) {
  for (const PrepResidue& r : p.res)
    for (const auto& atom : r.res.atoms)
      if (atom.first != " CA ") return false;
  return true;
}

std::string regularize_prepared(Prepared& p, RegularizeWhen when, bool by_position) {
  if (when == RegularizeWhen::off) return "";
  if (!is_trace(p)) {
    if (when == RegularizeWhen::on)
      throw InputError(p.source, 0, "--regularize on needs a C-alpha trace (add --ca to use only "
                                    "the C-alpha atoms)");
    return "";
  }
  std::vector<regularize::TraceResidue> t = trace_of(p, by_position);
  if (when == RegularizeWhen::automatic && !regularize::needs_regularizing(t)) return "";
  const regularize::Report rep = regularize::regularize(t);
  put_back(p, t);
  find_breaks(p);  // steps the noise had stretched beyond a bond are no longer breaks
  return rep.text();
}

int cmd_regularize(const Args& args) {
  PrepOptions opt;
  opt.ca_only = true;
  std::string input, output;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    const bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      output = args[++k];
    } else if (a == "--chain" && has_value) {
      opt.chain = args[++k];
    } else if (a == "--model" && has_value) {
      opt.model = args[++k];
    } else if (!a.empty() && a[0] != '-' && input.empty()) {
      input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (input.empty() || output.empty()) throw InputError(kUsage);

  Prepared p = prepare_structure(input, opt);
  const std::string line = regularize_prepared(p, RegularizeWhen::on);
  std::vector<ModelAtom> atoms;
  std::vector<MapRow> map;
  for (const PrepResidue& r : p.res) {
    map.push_back({r.res.name, r.chain, r.num, r.icode});
    const int a = ca_index(r);
    if (a < 0) continue;
    const auto& x = r.pos[std::size_t(a)];
    atoms.push_back({" CA ", r.res.name, r.res.num, x[0], x[1], x[2]});
  }
  const std::string text = export_text(atoms, map, format_for(output), "regularized trace");
  OutputFile out(output);
  std::size_t b = 0;
  while (b < text.size()) {
    std::size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    out.line(std::string_view(text).substr(b, e - b));
    b = e + 1;
  }
  out.commit();
  std::printf("%s: %zu C-alpha atoms; %s\n", input.c_str(), atoms.size(), line.c_str());
  return 0;
}

}  // namespace vorb::tools
