#include "hdd.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "hdd_residues.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/capacity.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace {

// Standard hydrogen geometry.
constexpr float kTetrahedral = 109.5f;
constexpr float kTrigonal = 120.0f;
constexpr float kCHAliphatic = 1.09f, kCHAromatic = 1.08f, kNH = 1.01f, kOH = 0.96f, kSH = 1.34f;

// Two-charge dipole model of the electrostatic hydrogen-bond criterion, per bond: C +0.42 and
// O -0.42 for each bond of a carbon to a terminal oxygen, X -0.20 and H +0.20 for each polar
// X-H bond. The program reads no charge; the column documents the polar groups.
constexpr float kQCarbonyl = 0.42f, kQPolarH = 0.20f;

float vdw_radius(char element) {
  switch (element) {
    case 'H':
      return 1.20f;
    case 'C':
      return 1.70f;
    case 'N':
      return 1.55f;
    case 'O':
      return 1.52f;
    case 'S':
      return 1.80f;
    default:
      return 1.70f;
  }
}

struct Link {
  int atom;
  float order, length;
};

class Builder {
 public:
  Builder(const std::vector<int>& types, const Tables& t)
      : types_(types), t_(t), n_(int(types.size())) {}

  Topology run() {
    check_capacity();
    place_atoms();
    heavy_bonds();
    hydrogen_bonds();
    order_partners();
    roles();
    angles();
    top_.types = types_;
    return std::move(top_);
  }

 private:
  struct ResAtoms {
    std::map<std::string, int> heavy;  // short name -> atom index (with OXT)
    std::vector<int> hydrogens;
  };

  void check_capacity() {
    if (n_ == 0) throw InputError("the sequence is empty");
    for (int k = 0; k < n_; ++k)
      if (types_[std::size_t(k)] < 1 || types_[std::size_t(k)] > 20)
        throw std::invalid_argument("residue type outside 1..20");
    if (n_ > kMaxRes) throw CapacityError("the sequence", "residues", kMaxRes);
    if (long(n_) * kAngPerRes > kMaxAng)
      throw InputError("the sequence has " + std::to_string(n_) + " residues; their " +
                       std::to_string(kAngPerRes) + " angle records each exceed the capacity of " +
                       std::to_string(kMaxAng) + " (at most " +
                       std::to_string(kMaxAng / kAngPerRes) + " residues)");
  }

  int add_atom(const std::string& name4, int r, const std::string& short_name) {
    HddAtom a;
    a.name = name4;
    a.res = r + 1;
    a.type = types_[std::size_t(r)];
    top_.atoms.push_back(a);
    short_.push_back(short_name);
    links_.emplace_back();
    parent_.push_back(0);
    return int(top_.atoms.size());
  }

  HddAtom& atom(int i) { return top_.atoms[std::size_t(i - 1)]; }

  void place_atoms() {
    res_.resize(std::size_t(n_));
    for (int r = 0; r < n_; ++r) {
      const ResidueTemplate& tp = residue_template(types_[std::size_t(r)]);
      ResAtoms& ra = res_[std::size_t(r)];
      for (const std::string& h : tp.heavy) ra.heavy[h] = add_atom(heavy_name4(h), r, h);
      if (r == n_ - 1) ra.heavy["OXT"] = add_atom(" OXT", r, "OXT");
      std::vector<TemplateHydrogen> hs;
      bool pro = types_[std::size_t(r)] == kPro;
      if (r == 0)
        for (const char* h : {"1H  ", "2H  ", "3H  "}) {
          if (pro && h[0] == '3') break;
          hs.push_back({h, "N"});
        }
      else if (!pro)
        hs.push_back({" H  ", "N"});
      hs.insert(hs.end(), tp.hydrogens.begin(), tp.hydrogens.end());
      for (const TemplateHydrogen& h : hs) {
        int i = add_atom(h.name4, r, "");
        ra.hydrogens.push_back(i);
        parent_[std::size_t(i - 1)] = ra.heavy.at(h.parent);
      }
    }
    if (int(top_.atoms.size()) > kMaxModelAtoms)
      throw CapacityError("the sequence", "atoms", kMaxModelAtoms);
  }

  // Atom index of a template name in residue r, 0 when the chain has no such atom.
  int resolve(int r, const std::string& name) const {
    if (name == "-C") return r > 0 ? res_[std::size_t(r - 1)].heavy.at("C") : 0;
    if (name == "+N") return r + 1 < n_ ? res_[std::size_t(r + 1)].heavy.at("N") : 0;
    auto it = res_[std::size_t(r)].heavy.find(name);
    return it == res_[std::size_t(r)].heavy.end() ? 0 : it->second;
  }

  // Template name of atom i seen from residue r (0-based).
  std::string name_from(int r, int i) const {
    const HddAtom& a = top_.atoms[std::size_t(i - 1)];
    const std::string& s = short_[std::size_t(i - 1)];
    if (a.res == r + 1) return s;
    if (a.res == r && s == "C") return "-C";
    if (a.res == r + 2 && s == "N") return "+N";
    throw std::logic_error("atom " + std::to_string(i) + " is not near residue " +
                           std::to_string(r + 1));
  }

  void link(int i, int j, float order, float length) {
    links_[std::size_t(i - 1)].push_back({j, order, length});
    links_[std::size_t(j - 1)].push_back({i, order, length});
  }

  void heavy_bonds() {
    for (int r = 0; r < n_; ++r) {
      int type = types_[std::size_t(r)];
      const ResidueTemplate& tp = residue_template(type);
      for (const TemplateBond& b : tp.bonds) {
        int i = resolve(r, b.a), j = resolve(r, b.b);
        if (i && j) link(i, j, b.order, t_.bond(type, b.a, b.b));
      }
      // Each heavy atom's neighbour toward the backbone.
      for (std::size_t k = 0; k < tp.heavy.size(); ++k)
        parent_[std::size_t(resolve(r, tp.heavy[k]) - 1)] = resolve(r, tp.parent[k]);
      if (int oxt = resolve(r, "OXT")) parent_[std::size_t(oxt - 1)] = resolve(r, "C");
    }
  }

  void hydrogen_bonds() {
    // Partners per atom once its hydrogens are added: sp3 or trigonal.
    std::vector<std::size_t> total(top_.atoms.size());
    for (std::size_t k = 0; k < total.size(); ++k) total[k] = links_[k].size();
    for (const ResAtoms& ra : res_)
      for (int h : ra.hydrogens) ++total[std::size_t(parent_[std::size_t(h - 1)] - 1)];
    for (const ResAtoms& ra : res_)
      for (int h : ra.hydrogens) {
        int p = parent_[std::size_t(h - 1)];
        std::size_t n = total[std::size_t(p - 1)];
        float len = 0.0f;
        switch (atom(p).element()) {
          case 'C':
            len = n == 4 ? kCHAliphatic : kCHAromatic;
            break;
          case 'N':
            len = kNH;
            break;
          case 'O':
            len = kOH;
            break;
          case 'S':
            len = kSH;
            break;
          default:
            throw std::logic_error("hydrogen on an unexpected element");
        }
        link(p, h, 1.0f, len);
      }
  }

  void order_partners() {
    for (std::size_t k = 0; k < links_.size(); ++k) {
      std::vector<Link>& l = links_[k];
      int parent = parent_[k];
      auto is_h = [&](int i) { return top_.atoms[std::size_t(i - 1)].hydrogen(); };
      std::sort(l.begin(), l.end(), [&](const Link& x, const Link& y) {
        if ((x.atom == parent) != (y.atom == parent)) return x.atom == parent;
        if (is_h(x.atom) != is_h(y.atom)) return !is_h(x.atom);
        return x.atom < y.atom;
      });
      if (l.size() > 4)
        throw std::logic_error("atom " + top_.atoms[k].name + " has more than four partners");
      HddAtom& a = top_.atoms[k];
      for (const Link& x : l) {
        a.partners.push_back(x.atom);
        a.order.push_back(x.order);
        a.length.push_back(x.length);
      }
    }
  }

  void roles() {
    for (std::size_t k = 0; k < top_.atoms.size(); ++k) {
      HddAtom& a = top_.atoms[k];
      a.radius = vdw_radius(a.element());
      if (a.hydrogen()) {
        char pe = atom(a.partners[0]).element();
        if (pe == 'N' || pe == 'O' || pe == 'S') {
          a.hb = -1;
          a.charge += kQPolarH;
          atom(a.partners[0]).charge -= kQPolarH;
        }
      } else if (a.element() == 'O') {
        a.hb = 1;
        if (a.partners.size() == 1 && atom(a.partners[0]).element() == 'C') {
          a.charge -= kQCarbonyl;
          atom(a.partners[0]).charge += kQCarbonyl;
        }
      } else if (a.name == " ND1" && a.type == kHis) {
        a.hb = 1;
      }
    }
  }

  // Angle K-P-H of a hydrogen on P: tetrahedral on a four-partner atom, oxygen or sulphur;
  // on a trigonal atom with two heavy partners, the half of the exterior heavy angle (the
  // hydrogen on the bisector); 120 degrees in a trigonal NH2 group.
  float hydrogen_angle(int p) {
    const HddAtom& a = atom(p);
    if (a.element() == 'O' || a.element() == 'S' || a.partners.size() == 4) return kTetrahedral;
    std::vector<int> heavy;
    for (int q : a.partners)
      if (!atom(q).hydrogen()) heavy.push_back(q);
    if (heavy.size() == 2) {
      int r = a.res - 1;
      float alpha =
          t_.angle(a.type, name_from(r, heavy[0]), name_from(r, p), name_from(r, heavy[1]));
      return (360.0f - alpha) * 0.5f;
    }
    return kTrigonal;
  }

  void angles() {
    for (int r = 0; r < n_; ++r) {
      int type = types_[std::size_t(r)];
      const ResidueTemplate& tp = residue_template(type);
      std::vector<HddAngle> block;
      auto add = [&](int a, int c, int b, auto value) {
        for (const HddAngle& x : block)
          if (x.centre == c && ((x.a == a && x.b == b) || (x.a == b && x.b == a))) return;
        block.push_back({a, c, b, value()});
      };
      auto heavy_value = [&](int a, int c, int b) {
        return
            [=, this] { return t_.angle(type, name_from(r, a), name_from(r, c), name_from(r, b)); };
      };
      // Lookups of the hydrogen builder: K-P-H for every heavy partner K of the parent P.
      for (int h : res_[std::size_t(r)].hydrogens) {
        int p = atom(h).partners[0];
        for (int k : atom(p).partners)
          if (!atom(k).hydrogen()) add(k, p, h, [&] { return hydrogen_angle(p); });
      }
      // Lookups of the side-chain regulariser: q-p-J with p the first heavy partner of J and
      // q the first heavy partner of p listed before J.
      for (std::size_t k = 4; k < tp.heavy.size(); ++k) {
        int j = resolve(r, tp.heavy[k]);
        int p = first_heavy(j, 1 << 30), q = first_heavy(p, j);
        if (!p || !q) throw std::logic_error("side-chain atom without grandparent");
        add(q, p, j, heavy_value(q, p, j));
      }
      // Every other heavy-atom angle centred in the residue.
      for (const auto& g : heavy_angles(tp)) {
        int a = resolve(r, g[0]), c = resolve(r, g[1]), b = resolve(r, g[2]);
        if (a && c && b) add(a, c, b, heavy_value(a, c, b));
      }
      if (block.size() > std::size_t(kAngPerRes))
        throw std::logic_error(tp.name3 + " needs " + std::to_string(block.size()) +
                               " angle records, more than " + std::to_string(kAngPerRes));
      block.resize(std::size_t(kAngPerRes));
      top_.angles.insert(top_.angles.end(), block.begin(), block.end());
    }
  }

  // First heavy partner of atom i with an index below `below`, 0 when none.
  int first_heavy(int i, int below) {
    for (int q : atom(i).partners)
      if (!atom(q).hydrogen() && q < below) return q;
    return 0;
  }

  const std::vector<int>& types_;
  const Tables& t_;
  int n_;
  Topology top_;
  std::vector<ResAtoms> res_;
  std::vector<std::string> short_;        // template name per atom ("" for hydrogens)
  std::vector<std::vector<Link>> links_;  // partners per atom before ordering
  std::vector<int> parent_;               // neighbour toward the backbone, 0 for none
};

}  // namespace

Topology build_topology(const std::vector<int>& types, const Tables& t) {
  return Builder(types, t).run();
}

std::vector<std::string> hdd_lines(const Topology& top, const Tables& t) {
  std::vector<std::string> out;
  ffmt::ListWriter head;
  head << int(top.atoms.size()) << int(top.angles.size()) << int(t.hbond.size());
  out.push_back(head.str());
  // Atom records (I4,1X,2(A4,1X),A3,2X,F6.3,1X,2(F7.4,1X),I4): serial, name, second name,
  // residue, charge, 0, radius, hydrogen-bond role. The serial keeps its last four digits.
  for (std::size_t k = 0; k < top.atoms.size(); ++k) {
    const HddAtom& a = top.atoms[k];
    ffmt::RecordWriter w;
    w.i(long(k + 1) % 10000, 4).x(1).a(a.name, 4).x(1).a(a.name, 4).x(1);
    w.a(afn[std::size_t(a.type)], 3).x(2).f(a.charge, 6, 3).x(1).f(0.0f, 7, 4).x(1);
    w.f(a.radius, 7, 4).x(1).i(a.hb, 4);
    out.push_back(w.str());
  }
  // Bond records (I4,1X,4(I6,1X),4(F8.3,1X,F7.4,1X),I2): partners, (order, length) per
  // partner, number of partners.
  for (std::size_t k = 0; k < top.atoms.size(); ++k) {
    const HddAtom& a = top.atoms[k];
    ffmt::RecordWriter w;
    w.i(long(k + 1) % 10000, 4).x(1);
    for (std::size_t p = 0; p < 4; ++p) w.i(p < a.partners.size() ? a.partners[p] : 0, 6).x(1);
    for (std::size_t p = 0; p < 4; ++p) {
      bool used = p < a.partners.size();
      w.f(used ? a.order[p] : 0.0f, 8, 3).x(1).f(used ? a.length[p] : 0.0f, 7, 4).x(1);
    }
    w.i(long(a.partners.size()), 2);
    out.push_back(w.str());
  }
  // Angle records (4(I5,1X),3(F7.3,1X),F7.3): serial, three atoms, 0, angle, 0, 0.
  for (std::size_t m = 0; m < top.angles.size(); ++m) {
    const HddAngle& g = top.angles[m];
    ffmt::RecordWriter w;
    w.i(long(m + 1), 5).x(1).i(g.a, 5).x(1).i(g.centre, 5).x(1).i(g.b, 5).x(1);
    w.f(0.0f, 7, 3).x(1).f(g.value, 7, 3).x(1).f(0.0f, 7, 3).x(1).f(0.0f, 7, 3);
    out.push_back(w.str());
  }
  for (const auto& v : t.hbond) out.push_back(hbond_row_text(v));
  for (const auto& v : t.rama) out.push_back(rama_row_text(v));
  return out;
}

void write_hdd(const Topology& top, const Tables& t, const std::string& path) {
  std::vector<std::string> lines = hdd_lines(top, t);
  OutputFile out(path);
  for (const std::string& l : lines) out.line(l);
  out.commit();
}

}  // namespace vorb::tools
