#include "hdd_residues.hpp"

#include <algorithm>
#include <stdexcept>

#include "model/residues.hpp"

namespace vorb::tools {
namespace {

struct SideAtom {
  const char* name;
  const char* parent;
};

struct Extra {
  const char* a;
  const char* b;
  float order;
};

struct HydrogenGroup {
  const char* parent;
  std::vector<const char*> names;
};

struct Def {
  const char* name3;
  std::vector<SideAtom> side;   // side-chain heavy atoms in order, with tree parent
  std::vector<Extra> closures;  // ring-closing bonds
  std::vector<Extra> orders;    // tree bonds that are not single
  std::vector<HydrogenGroup> hydrogens;
};

constexpr float kAro = 1.5f, kDouble = 2.0f;

// Residues in the order of afn. Side chains follow the usual atom order with ring atoms after
// CG; hydrogens are named in the four-column style whose first two characters tell the
// builders the group ("1H", "2H", "3H" for groups, " H" for single hydrogens). Histidine is the
// neutral N-epsilon-protonated form.
std::vector<Def> definitions() {
  return {
      {"GLY", {}, {}, {}, {{"CA", {"1HA ", "2HA "}}}},
      {"ALA", {{"CB", "CA"}}, {}, {}, {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB ", "3HB "}}}},
      {"SER",
       {{"CB", "CA"}, {"OG", "CB"}},
       {},
       {},
       {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB "}}, {"OG", {" HG "}}}},
      {"CYS",
       {{"CB", "CA"}, {"SG", "CB"}},
       {},
       {},
       {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB "}}, {"SG", {" HG "}}}},
      {"VAL",
       {{"CB", "CA"}, {"CG1", "CB"}, {"CG2", "CB"}},
       {},
       {},
       {{"CA", {" HA "}},
        {"CB", {" HB "}},
        {"CG1", {"1HG1", "2HG1", "3HG1"}},
        {"CG2", {"1HG2", "2HG2", "3HG2"}}}},
      {"THR",
       {{"CB", "CA"}, {"OG1", "CB"}, {"CG2", "CB"}},
       {},
       {},
       {{"CA", {" HA "}}, {"CB", {" HB "}}, {"OG1", {" HG1"}}, {"CG2", {"1HG2", "2HG2", "3HG2"}}}},
      {"ILE",
       {{"CB", "CA"}, {"CG1", "CB"}, {"CG2", "CB"}, {"CD1", "CG1"}},
       {},
       {},
       {{"CA", {" HA "}},
        {"CB", {" HB "}},
        {"CG1", {"1HG1", "2HG1"}},
        {"CG2", {"1HG2", "2HG2", "3HG2"}},
        {"CD1", {"1HD1", "2HD1", "3HD1"}}}},
      {"PRO",
       {{"CB", "CA"}, {"CG", "CB"}, {"CD", "CG"}},
       {{"N", "CD", 1.0f}},
       {},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {"1HG ", "2HG "}},
        {"CD", {"1HD ", "2HD "}}}},
      {"MET",
       {{"CB", "CA"}, {"CG", "CB"}, {"SD", "CG"}, {"CE", "SD"}},
       {},
       {},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {"1HG ", "2HG "}},
        {"CE", {"1HE ", "2HE ", "3HE "}}}},
      {"ASP",
       {{"CB", "CA"}, {"CG", "CB"}, {"OD1", "CG"}, {"OD2", "CG"}},
       {},
       {{"CG", "OD1", kDouble}},
       {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB "}}}},
      {"ASN",
       {{"CB", "CA"}, {"CG", "CB"}, {"OD1", "CG"}, {"ND2", "CG"}},
       {},
       {{"CG", "OD1", kDouble}},
       {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB "}}, {"ND2", {"1HD2", "2HD2"}}}},
      {"LEU",
       {{"CB", "CA"}, {"CG", "CB"}, {"CD1", "CG"}, {"CD2", "CG"}},
       {},
       {},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {" HG "}},
        {"CD1", {"1HD1", "2HD1", "3HD1"}},
        {"CD2", {"1HD2", "2HD2", "3HD2"}}}},
      {"LYS",
       {{"CB", "CA"}, {"CG", "CB"}, {"CD", "CG"}, {"CE", "CD"}, {"NZ", "CE"}},
       {},
       {},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {"1HG ", "2HG "}},
        {"CD", {"1HD ", "2HD "}},
        {"CE", {"1HE ", "2HE "}},
        {"NZ", {"1HZ ", "2HZ ", "3HZ "}}}},
      {"GLU",
       {{"CB", "CA"}, {"CG", "CB"}, {"CD", "CG"}, {"OE1", "CD"}, {"OE2", "CD"}},
       {},
       {{"CD", "OE1", kDouble}},
       {{"CA", {" HA "}}, {"CB", {"1HB ", "2HB "}}, {"CG", {"1HG ", "2HG "}}}},
      {"GLN",
       {{"CB", "CA"}, {"CG", "CB"}, {"CD", "CG"}, {"OE1", "CD"}, {"NE2", "CD"}},
       {},
       {{"CD", "OE1", kDouble}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {"1HG ", "2HG "}},
        {"NE2", {"1HE2", "2HE2"}}}},
      {"ARG",
       {{"CB", "CA"},
        {"CG", "CB"},
        {"CD", "CG"},
        {"NE", "CD"},
        {"CZ", "NE"},
        {"NH1", "CZ"},
        {"NH2", "CZ"}},
       {},
       {{"CZ", "NH1", kDouble}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CG", {"1HG ", "2HG "}},
        {"CD", {"1HD ", "2HD "}},
        {"NE", {" HE "}},
        {"NH1", {"1HH1", "2HH1"}},
        {"NH2", {"1HH2", "2HH2"}}}},
      {"HIS",
       {{"CB", "CA"}, {"CG", "CB"}, {"ND1", "CG"}, {"CD2", "CG"}, {"CE1", "ND1"}, {"NE2", "CD2"}},
       {{"CE1", "NE2", kAro}},
       {{"CG", "ND1", kAro}, {"CG", "CD2", kAro}, {"ND1", "CE1", kAro}, {"CD2", "NE2", kAro}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CD2", {" HD2"}},
        {"CE1", {" HE1"}},
        {"NE2", {" HE2"}}}},
      {"PHE",
       {{"CB", "CA"},
        {"CG", "CB"},
        {"CD1", "CG"},
        {"CD2", "CG"},
        {"CE1", "CD1"},
        {"CE2", "CD2"},
        {"CZ", "CE1"}},
       {{"CE2", "CZ", kAro}},
       {{"CG", "CD1", kAro},
        {"CG", "CD2", kAro},
        {"CD1", "CE1", kAro},
        {"CD2", "CE2", kAro},
        {"CE1", "CZ", kAro}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CD1", {" HD1"}},
        {"CD2", {" HD2"}},
        {"CE1", {" HE1"}},
        {"CE2", {" HE2"}},
        {"CZ", {" HZ "}}}},
      {"TYR",
       {{"CB", "CA"},
        {"CG", "CB"},
        {"CD1", "CG"},
        {"CD2", "CG"},
        {"CE1", "CD1"},
        {"CE2", "CD2"},
        {"CZ", "CE1"},
        {"OH", "CZ"}},
       {{"CE2", "CZ", kAro}},
       {{"CG", "CD1", kAro},
        {"CG", "CD2", kAro},
        {"CD1", "CE1", kAro},
        {"CD2", "CE2", kAro},
        {"CE1", "CZ", kAro}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CD1", {" HD1"}},
        {"CD2", {" HD2"}},
        {"CE1", {" HE1"}},
        {"CE2", {" HE2"}},
        {"OH", {" HH "}}}},
      {"TRP",
       {{"CB", "CA"},
        {"CG", "CB"},
        {"CD1", "CG"},
        {"CD2", "CG"},
        {"NE1", "CD1"},
        {"CE2", "CD2"},
        {"CE3", "CD2"},
        {"CZ2", "CE2"},
        {"CZ3", "CE3"},
        {"CH2", "CZ2"}},
       {{"NE1", "CE2", kAro}, {"CZ3", "CH2", kAro}},
       {{"CG", "CD1", kAro},
        {"CG", "CD2", kAro},
        {"CD1", "NE1", kAro},
        {"CD2", "CE2", kAro},
        {"CD2", "CE3", kAro},
        {"CE2", "CZ2", kAro},
        {"CE3", "CZ3", kAro},
        {"CZ2", "CH2", kAro}},
       {{"CA", {" HA "}},
        {"CB", {"1HB ", "2HB "}},
        {"CD1", {" HD1"}},
        {"NE1", {" HE1"}},
        {"CE3", {" HE3"}},
        {"CZ2", {" HZ2"}},
        {"CZ3", {" HZ3"}},
        {"CH2", {" HH2"}}}},
  };
}

ResidueTemplate build(int type, const Def& d) {
  ResidueTemplate t;
  t.type = type;
  t.name3 = d.name3;
  t.heavy = {"N", "CA", "C", "O"};
  t.parent = {"-C", "N", "CA", "C"};
  t.bonds = {{"-C", "N", 1.0f},
             {"N", "CA", 1.0f},
             {"CA", "C", 1.0f},
             {"C", "O", kDouble},
             {"C", "OXT", 1.0f}};
  for (const SideAtom& s : d.side) {
    t.heavy.push_back(s.name);
    t.parent.push_back(s.parent);
    float order = 1.0f;
    for (const Extra& e : d.orders)
      if (e.a == std::string(s.parent) && e.b == std::string(s.name)) order = e.order;
    t.bonds.push_back({s.parent, s.name, order});
  }
  for (const Extra& e : d.closures) t.bonds.push_back({e.a, e.b, e.order});
  for (const HydrogenGroup& g : d.hydrogens)
    for (const char* n : g.names) t.hydrogens.push_back({n, g.parent});
  if (int(t.heavy.size()) != hra[std::size_t(type)])
    throw std::logic_error("residue template " + t.name3 + " does not match hra");
  return t;
}

const std::vector<ResidueTemplate>& all_templates() {
  static const std::vector<ResidueTemplate> all = [] {
    std::vector<ResidueTemplate> v(1);
    std::vector<Def> defs = definitions();
    for (int type = 1; type <= 20; ++type) {
      v.push_back(build(type, defs[std::size_t(type - 1)]));
      if (v.back().name3 != afn[std::size_t(type)])
        throw std::logic_error("residue templates out of the order of afn");
    }
    return v;
  }();
  return all;
}

// Sort key of a template atom in the order the topology lists partners.
int rank(const ResidueTemplate& t, const std::string& name) {
  if (name == "-C") return -1;
  if (name == "OXT") return int(t.heavy.size());
  if (name == "+N") return 1000;
  return t.index(name);
}

}  // namespace

int ResidueTemplate::index(const std::string& short_name) const {
  for (std::size_t k = 0; k < heavy.size(); ++k)
    if (heavy[k] == short_name) return int(k);
  return -1;
}

const ResidueTemplate& residue_template(int type) {
  if (type < 1 || type > 20) throw std::out_of_range("residue type " + std::to_string(type));
  return all_templates()[std::size_t(type)];
}

std::string heavy_name4(const std::string& short_name) {
  std::string s = " " + short_name;
  s.resize(4, ' ');
  return s;
}

std::vector<std::string> heavy_neighbours(const ResidueTemplate& t, const std::string& atom) {
  std::vector<std::string> out;
  for (const TemplateBond& b : t.bonds) {
    if (b.a == atom) out.push_back(b.b);
    if (b.b == atom) out.push_back(b.a);
  }
  if (atom == "C") out.push_back("+N");
  // The neighbour toward the backbone first, then the others in atom order.
  int k = t.index(atom);
  std::string parent = k >= 0 ? t.parent[std::size_t(k)] : (atom == "OXT" ? "C" : "");
  std::sort(out.begin(), out.end(), [&](const std::string& x, const std::string& y) {
    if ((x == parent) != (y == parent)) return x == parent;
    return rank(t, x) < rank(t, y);
  });
  return out;
}

std::vector<std::array<std::string, 3>> heavy_angles(const ResidueTemplate& t) {
  std::vector<std::array<std::string, 3>> out;
  std::vector<std::string> centres = t.heavy;
  centres.push_back("OXT");
  for (const std::string& c : centres) {
    std::vector<std::string> nb = heavy_neighbours(t, c);
    for (std::size_t x = 0; x < nb.size(); ++x)
      for (std::size_t y = x + 1; y < nb.size(); ++y) {
        if ((nb[x] == "+N" && nb[y] == "OXT") || (nb[x] == "OXT" && nb[y] == "+N")) continue;
        out.push_back({nb[x], c, nb[y]});
      }
  }
  return out;
}

}  // namespace vorb::tools
