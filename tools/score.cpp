#include "score.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "commands.hpp"
#include "dssp.hpp"
#include "geometry/torsion.hpp"
#include "hdd_residues.hpp"
#include "io/ffmt.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace {

constexpr float kCaClash = 3.6f;     // closest approach of C-alpha atoms two or more apart
constexpr float kCaBreak = 4.2f;     // longest C-alpha step between neighbours
constexpr float kHeavyClash = 3.0f;  // closest approach of heavy atoms more than 3 bonds apart
constexpr float kDisulfide = 2.5f;   // SG-SG pairs closer than this are bonded
constexpr float kChiTol = 40.0f;     // degrees

// Heavy atoms of proteins have a one-letter element and a blank first column.
bool heavy(const std::string& name4) {
  return name4.size() == 4 && name4[0] == ' ' && name4[1] != 'H' && name4[1] != 'D';
}
bool backbone(const std::string& n) { return n == " N  " || n == " CA " || n == " C  " || n == " O  "; }

// The atom that defines chi1 with N, CA and CB, empty for GLY and ALA.
std::string gamma_of(int type) {
  switch (type) {
    case kGly: case kAla: case 0: return "";
    case kSer: return " OG ";
    case kCys: return " SG ";
    case kVal: case kIle: return " CG1";
    case kThr: return " OG1";
    default: return " CG ";
  }
}

// The name an atom takes when the residue's symmetric groups are named the other way round:
// the two carboxyl oxygens of ASP and GLU, the two terminal nitrogens of ARG and the ring
// pairs of PHE and TYR (both pairs together, as a ring flip exchanges them). Other names and
// residues map to themselves.
std::string swapped_name(int type, const std::string& name4) {
  static const std::pair<const char*, const char*> asp[] = {{" OD1", " OD2"}};
  static const std::pair<const char*, const char*> glu[] = {{" OE1", " OE2"}};
  static const std::pair<const char*, const char*> arg[] = {{" NH1", " NH2"}};
  static const std::pair<const char*, const char*> ring[] = {{" CD1", " CD2"}, {" CE1", " CE2"}};
  auto map = [&](auto& pairs) {
    for (const auto& [a, b] : pairs) {
      if (name4 == a) return std::string(b);
      if (name4 == b) return std::string(a);
    }
    return name4;
  };
  switch (type) {
    case kAsp: return map(asp);
    case kGlu: return map(glu);
    case kArg: return map(arg);
    case kPhe: case kTyr: return map(ring);
    default: return name4;
  }
}

void ca_geometry(const Chain& c, int& clashes, int& breaks) {
  clashes = breaks = 0;
  std::vector<std::pair<int, Vec3>> ca;  // residue position, C-alpha
  for (std::size_t k = 0; k < c.res.size(); ++k)
    if (const Vec3* p = c.res[k].find(" CA ")) ca.emplace_back(int(k), *p);
  for (std::size_t a = 0; a < ca.size(); ++a) {
    if (a + 1 < ca.size() && ca[a + 1].first == ca[a].first + 1 &&
        dist(ca[a].second, ca[a + 1].second) > kCaBreak)
      ++breaks;
    for (std::size_t b = a + 1; b < ca.size(); ++b)
      if (ca[b].first - ca[a].first >= 2 && dist(ca[a].second, ca[b].second) < kCaClash) ++clashes;
  }
}

// Heavy-atom pairs closer than 3.0 A that are more than three bonds apart, with bonds from
// the residue templates, the peptide bonds between chain neighbours and disulfides.
int heavy_clashes(const Chain& c) {
  struct Atom {
    Vec3 p;
    int res;
    std::string name;
  };
  std::vector<Atom> atoms;
  std::vector<std::size_t> first(c.res.size() + 1);  // atoms of residue k: first[k]..first[k+1]
  for (std::size_t k = 0; k < c.res.size(); ++k) {
    first[k] = atoms.size();
    for (const auto& [name, p] : c.res[k].atoms)
      if (heavy(name)) atoms.push_back({p, int(k), name});
  }
  first[c.res.size()] = atoms.size();
  auto find = [&](int res, const std::string& name4) {
    for (std::size_t i = first[std::size_t(res)]; i < first[std::size_t(res) + 1]; ++i)
      if (atoms[i].name == name4) return int(i);
    return -1;
  };
  std::vector<std::vector<int>> adj(atoms.size());
  auto link = [&](int a, int b) {
    if (a < 0 || b < 0) return;
    adj[std::size_t(a)].push_back(b);
    adj[std::size_t(b)].push_back(a);
  };
  for (std::size_t k = 0; k < c.res.size(); ++k) {
    const int type = c.res[k].type;
    if (type < 1 || type > 20) continue;
    for (const TemplateBond& b : residue_template(type).bonds) {
      auto resolve = [&](const std::string& n) {
        if (n == "-C") return k > 0 ? find(int(k) - 1, " C  ") : -1;
        return find(int(k), heavy_name4(n));
      };
      link(resolve(b.a), resolve(b.b));
    }
  }
  std::vector<int> sg;
  for (std::size_t i = 0; i < atoms.size(); ++i)
    if (atoms[i].name == " SG ") sg.push_back(int(i));
  for (std::size_t a = 0; a < sg.size(); ++a)
    for (std::size_t b = a + 1; b < sg.size(); ++b)
      if (dist(atoms[std::size_t(sg[a])].p, atoms[std::size_t(sg[b])].p) < kDisulfide) link(sg[a], sg[b]);

  // Atoms within three bonds of i.
  auto near_in_graph = [&](int i, int j) {
    std::vector<int> frontier = {i}, seen = {i};
    for (int depth = 0; depth < 3; ++depth) {
      std::vector<int> next;
      for (int a : frontier)
        for (int b : adj[std::size_t(a)])
          if (std::find(seen.begin(), seen.end(), b) == seen.end()) {
            if (b == j) return true;
            seen.push_back(b);
            next.push_back(b);
          }
      frontier = std::move(next);
    }
    return false;
  };
  std::vector<int> order(atoms.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return atoms[std::size_t(a)].p.x < atoms[std::size_t(b)].p.x || (atoms[std::size_t(a)].p.x == atoms[std::size_t(b)].p.x && a < b);
  });
  int n = 0;
  for (std::size_t a = 0; a < order.size(); ++a) {
    const Atom& u = atoms[std::size_t(order[a])];
    for (std::size_t b = a + 1; b < order.size(); ++b) {
      const Atom& v = atoms[std::size_t(order[b])];
      if (v.p.x - u.p.x >= kHeavyClash) break;
      if (dist(u.p, v.p) < kHeavyClash && !near_in_graph(order[a], order[b])) ++n;
    }
  }
  return n;
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

}  // namespace

Score score(const Chain& native, const Chain& model, Matching how) {
  Score s;
  std::vector<std::pair<const Residue*, const Residue*>> pairs;  // native, model
  std::vector<const Residue*> by_pos(native.res.size(), nullptr);  // per native residue
  std::vector<int> to_native(model.res.size(), -1);                 // per model residue
  std::map<std::pair<int, char>, std::size_t> by_number;  // first native residue of a number
  for (std::size_t k = 0; k < native.res.size(); ++k)
    by_number.emplace(std::make_pair(native.res[k].num, native.res[k].icode), k);
  for (std::size_t j = 0; j < model.res.size(); ++j) {
    const Residue& m = model.res[j];
    std::size_t k = native.res.size();
    if (how == Matching::by_order) {
      if (m.num >= 1 && std::size_t(m.num) <= native.res.size()) k = std::size_t(m.num) - 1;
    } else if (auto it = by_number.find({m.num, m.icode}); it != by_number.end()) {
      k = it->second;
    }
    if (k == native.res.size() || native.res[k].name != m.name || by_pos[k]) {
      ++s.mismatched;
      continue;
    }
    by_pos[k] = &m;
    to_native[j] = int(k);
    pairs.emplace_back(&native.res[k], &m);
  }
  s.residues = int(pairs.size());

  double tx = 0, ty = 0, tz = 0;
  int nca = 0;
  for (auto [n, m] : pairs)
    if (const Vec3 *a = n->find(" CA "), *b = m->find(" CA "); a && b) {
      tx += b->x - a->x, ty += b->y - a->y, tz += b->z - a->z;
      ++nca;
    }
  if (nca > 0) s.translation = {float(tx / nca), float(ty / nca), float(tz / nca)};
  const Vec3 t = s.translation;

  double sb = 0, ss = 0;
  for (auto [n, m] : pairs) {
    // Side-chain deviation of the residue as named and with its symmetric groups swapped;
    // the smaller counts when both compare the same number of atoms.
    double as_named = 0, as_other = 0;
    int n_named = 0, n_other = 0;
    for (const auto& [name, p] : n->atoms) {
      if (!heavy(name) || name == " OXT") continue;
      const Vec3* q = m->find(name);
      const float d = q ? dist(*q - t, p) : 0.0f;
      if (backbone(name)) {
        if (!q) continue;
        if (name == " CA ") {
          s.ca_deviation = std::max(s.ca_deviation, d);
        } else {
          sb += double(d) * d;
          ++s.n_backbone;
        }
        continue;
      }
      if (q) {
        as_named += double(d) * d;
        ++n_named;
      }
      if (const Vec3* r = m->find(swapped_name(n->type, name))) {
        const float e = dist(*r - t, p);
        as_other += double(e) * e;
        ++n_other;
      }
    }
    const bool swap = n_other == n_named && as_other < as_named;
    ss += swap ? as_other : as_named;
    s.n_sidechain += n_named;
    if (swap) ++s.n_swapped;
    const std::string g = gamma_of(n->type);
    const char* chi[] = {" N  ", " CA ", " CB "};
    auto chi1 = [&](const Residue& r, float& out) {
      const Vec3 *a = r.find(chi[0]), *b = r.find(chi[1]), *c = r.find(chi[2]), *d = r.find(g);
      if (!a || !b || !c || !d) return false;
      out = dihedral(*a, *b, *c, *d) / 0.0174533f;
      return true;
    };
    float xn = 0, xm = 0;
    if (!g.empty() && chi1(*n, xn) && chi1(*m, xm)) {
      ++s.chi1_residues;
      if (std::fabs(std::remainder(xm - xn, 360.0f)) <= kChiTol) ++s.chi1_within;
    }
  }
  if (s.n_backbone > 0) s.rmsd_backbone = float(std::sqrt(sb / s.n_backbone));
  if (s.n_sidechain > 0) s.rmsd_sidechain = float(std::sqrt(ss / s.n_sidechain));

  for (std::size_t k = 0; k < native.res.size(); ++k) {
    const int type = native.res[k].type;
    if (type < 1 || type > 20) continue;
    for (const std::string& a : residue_template(type).heavy)
      if (!by_pos[k] || !by_pos[k]->has(heavy_name4(a))) ++s.heavy_missing;
  }

  ca_geometry(model, s.ca_clashes, s.ca_breaks);
  ca_geometry(native, s.native_ca_clashes, s.native_ca_breaks);
  s.heavy_clashes = heavy_clashes(model);
  s.native_heavy_clashes = heavy_clashes(native);

  // Backbone hydrogen bonds, as native residue positions.
  std::set<std::pair<int, int>> built;
  for (const BackboneHBond& h : assign_secondary(model).hbonds)
    if (to_native[std::size_t(h.donor)] >= 0 && to_native[std::size_t(h.acceptor)] >= 0)
      built.emplace(to_native[std::size_t(h.donor)], to_native[std::size_t(h.acceptor)]);
  for (const BackboneHBond& h : assign_secondary(native).hbonds) {
    ++s.native_hbonds;
    if (built.count({h.donor, h.acceptor})) ++s.hbonds_recovered;
  }
  return s;
}

std::string format_score(const Score& s) {
  // Labels name each figure once: a label shared with a reference figure would be read as the
  // same figure by scripts that match on words.
  auto frac = [](int a, int b) { return num(b > 0 ? double(a) / b : 0.0); };
  std::string o;
  auto line = [&](const char* name, const std::string& v) { o += std::string(name) + ": " + v + "\n"; };
  auto count = [&](const char* name, int v) { line(name, std::to_string(v)); };
  count("residues_matched", s.residues);
  count("residues_renamed_or_outside", s.mismatched);
  line("translation", num(s.translation.x) + " " + num(s.translation.y) + " " + num(s.translation.z));
  line("ca_deviation_max", num(s.ca_deviation));
  line("rmsd_backbone_n_c_o", num(s.rmsd_backbone));
  count("backbone_atoms_compared", s.n_backbone);
  line("rmsd_sidechain", num(s.rmsd_sidechain));
  count("sidechain_atoms_compared", s.n_sidechain);
  count("sidechain_residues_named_the_other_way", s.n_swapped);
  line("chi1_within_40", frac(s.chi1_within, s.chi1_residues));
  count("chi_residues_compared", s.chi1_residues);
  count("heavy_atoms_missing", s.heavy_missing);
  count("ca_clashes_below_3.6", s.ca_clashes);
  count("ca_breaks_above_4.2", s.ca_breaks);
  count("native_ca_pairs_below_3.6", s.native_ca_clashes);
  count("native_ca_steps_above_4.2", s.native_ca_breaks);
  count("heavy_clashes_below_3.0", s.heavy_clashes);
  count("native_heavy_pairs_below_3.0", s.native_heavy_clashes);
  line("hbonds_recovered", frac(s.hbonds_recovered, s.native_hbonds));
  count("native_backbone_hb_pairs", s.native_hbonds);
  return o;
}

namespace {

constexpr const char* kUsage =
    "usage: vorb-tools score NATIVE MODEL [--native-chain ID] [--model-chain ID] [--model N]\n"
    "                        [--by-order]";
constexpr const char* kHelp =
    "Accuracy of MODEL against NATIVE. Both are PDB or mmCIF files, gzipped or not (\"-\" for\n"
    "standard input), read as prep reads them (polymer residues, MSE as MET, alternate\n"
    "location A, heavy atoms). One chain of each is compared: the first protein chain unless\n"
    "--native-chain / --model-chain name one; --model N takes model N of both files.\n"
    "A model residue is matched with the native residue of the same number and insertion code\n"
    "when their names agree. --by-order matches the model's residue numbered r with the\n"
    "native's r-th residue in file order instead: the numbering of ca-trace, hdd and VORB's own\n"
    "outputs. Fewer than half of the model's residues matched is refused (exit 2).\n"
    "Coordinates are compared after removing the mean C-alpha offset (no superposition). The\n"
    "side-chain RMSD takes, per residue, the smaller deviation of the two namings of symmetric\n"
    "atoms: ASP OD1/OD2, GLU OE1/OE2, ARG NH1/NH2, PHE and TYR CD1/CD2 with CE1/CE2 (swapped\n"
    "together); sidechain_residues_named_the_other_way counts the residues where the swap\n"
    "counted. chi1 uses none of these atoms. Prints one \"name: value\" line per figure.";

// The chain named id (the first protein chain when id is empty) of a file.
Chain pick_chain(const std::string& path, const std::string& id, const std::string& model) {
  std::vector<Chain> chains = read_protein_chains(path, model);
  std::string names;
  for (Chain& c : chains) {
    if (id.empty() || c.name == id) return std::move(c);
    names += (names.empty() ? "" : ", ") + (c.name.empty() ? std::string("(blank)") : c.name);
  }
  if (chains.empty()) throw InputError(path, 0, "no protein chain");
  throw InputError(path, 0, "no protein chain \"" + id + "\" (protein chains: " + names + ")");
}

std::string chain_label(const Chain& c) { return c.name.empty() ? "(blank)" : c.name; }

}  // namespace

std::string score_files(const std::string& native_path, const std::string& model_path,
                        const std::string& native_chain, const std::string& model_chain,
                        const std::string& model_number, Matching how) {
  const Chain native = pick_chain(native_path, native_chain, model_number);
  const Chain model = pick_chain(model_path, model_chain, model_number);
  const Score s = score(native, model, how);
  if (model.res.empty() || 2 * s.residues < int(model.res.size()))
    throw InputError(model_path, 0,
                     "only " + std::to_string(s.residues) + " of " + std::to_string(model.res.size()) +
                         " residues of chain " + chain_label(model) + " match a residue of chain " +
                         chain_label(native) + " of " + native_path +
                         (how == Matching::by_order
                              ? " by position (--by-order)"
                              : " by number and name (--by-order matches the model's residue "
                                "r with the native's r-th)"));
  return format_score(s);
}

int cmd_score(const Args& args) {
  std::vector<std::string> files;
  std::string native_chain, model_chain, model_number;
  Matching how = Matching::by_number;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    const bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n%s\n", kUsage, kHelp);
      return 0;
    } else if (a == "--native-chain" && has_value) {
      native_chain = args[++k];
    } else if (a == "--model-chain" && has_value) {
      model_chain = args[++k];
    } else if (a == "--model" && has_value) {
      model_number = args[++k];
    } else if (a == "--by-order") {
      how = Matching::by_order;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2 || (files[0] == "-" && files[1] == "-")) throw InputError(kUsage);
  const std::string text = score_files(files[0], files[1], native_chain, model_chain, model_number, how);
  std::fputs(text.c_str(), stdout);
  return 0;
}

}  // namespace vorb::tools
