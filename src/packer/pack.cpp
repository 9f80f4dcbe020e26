#include "pack.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

namespace vorb::packer {
namespace {

constexpr float kCut = 5.2f;  // no pair term beyond this distance (A)
constexpr float kCut2 = kCut * kCut;

// What the energy needs of an atom: its class, its hydrogen-bond roles, and whether it is a
// cysteine SG (disulfide partner).
struct Kind {
  std::uint8_t elem = 0;  // 0 C, 1 N, 2 O, 3 S
  bool donor = false, acceptor = false, sg = false;
  std::uint8_t code = 0;  // the above in 5 bits (pair tables)
};

inline void set_code(Kind& k) { k.code = std::uint8_t(k.elem | k.donor << 2 | k.acceptor << 3 | k.sg << 4); }

struct EAtom {
  Vec3 p;
  Kind k;
  int res = -1;  // residue index, -1 for other atoms
  bool ca = false;  // backbone CA (1-4 to a following proline's CD, nearly fixed by the backbone)
};

Kind kind_of(std::string_view res, std::string_view name, char element, bool residue_atom) {
  Kind k;
  switch (element) {
    case 'N': k.elem = 1; break;
    case 'O': k.elem = 2; break;
    case 'S': k.elem = 3; break;
    default: k.elem = 0;
  }
  if (!residue_atom) {  // water and ligand N and O may both give and take
    k.donor = k.acceptor = k.elem == 1 || k.elem == 2;
    set_code(k);
    return k;
  }
  if (name == "N") k.donor = res != "PRO";
  else if (name == "O" || name == "OXT") k.acceptor = true;
  else if (name == "OG" || name == "OG1" || name == "OH") k.donor = k.acceptor = true;
  else if (name == "OD1" || name == "OD2" || name == "OE1" || name == "OE2") k.acceptor = true;
  else if (name == "ND2" || name == "NE2" || name == "NZ" || name == "NE" || name == "NH1" ||
           name == "NH2" || name == "NE1")
    k.donor = true;
  if (res == "HIS" && (name == "ND1" || name == "NE2")) k.donor = k.acceptor = true;
  if (res == "GLN" && name == "NE2") k.donor = true, k.acceptor = false;
  k.sg = res == "CYS" && name == "SG";
  set_code(k);
  return k;
}

constexpr float kRadius[4] = {1.70f, 1.55f, 1.52f, 1.80f};

// Pair energy at squared distance d2 (below kCut2). The Lennard-Jones-like term of each pair
// class is precomputed: eps ((r0/d)^12 - 2 (r0/d)^6), continued linearly below 0.85 r0, shifted
// to 0 at kCut or 1.6 r0, whichever is closer.
struct Lj {
  float r0sq = 0, cut2 = 0, shift = 0, dmin = 0, dmin2 = 0, e_dmin = 0, slope = 0;
};

class PairTerm {
 public:
  explicit PairTerm(const Params& p) : par_(p) {
    for (int a = 0; a < 4; ++a)
      for (int b = 0; b < 4; ++b) {
        const float sum = kRadius[a] + kRadius[b];
        plain_[a][b] = make(p.radius_scale * sum);
        clash2_[a][b] = p.clash_scale * sum * p.clash_scale * sum;
        clash_[a][b] = p.clash_scale * sum;
      }
    hb_ = make(p.hb_r0);
    ss_ = make(1.95f);
  }
  float operator()(const Kind& a, const Kind& b, float d2) const {
    if (a.sg && b.sg) {
      float d = std::sqrt(d2);
      float u = (d - 2.04f) / 0.3f;
      float ss = u * u < 1.0f ? -par_.w_ss * (1.0f - u * u) : 0.0f;
      return ss + lj(ss_, d2);
    }
    if ((a.donor && b.acceptor) || (a.acceptor && b.donor)) {
      float d = std::sqrt(d2), hb = 0;
      if (d >= par_.hb_lo && d <= par_.hb_hi) hb = 1;
      else if (d > par_.hb_hi && d < par_.hb_hi + 0.4f) hb = (par_.hb_hi + 0.4f - d) / 0.4f;
      else if (d < par_.hb_lo && d > par_.hb_lo - 0.3f) hb = (d - par_.hb_lo + 0.3f) / 0.3f;
      return -par_.w_hb * hb + lj(hb_, d2);
    }
    float e = lj(plain_[a.elem][b.elem], d2);
    // The soft term lets contacts closer than native ones through cheaply; the optional steep
    // penalty keeps them out.
    if (par_.w_clash != 0.0f && d2 < clash2_[a.elem][b.elem])
      e += par_.w_clash * 10.0f * (clash_[a.elem][b.elem] - std::sqrt(d2));
    return e;
  }

 private:
  Lj make(float r0) const {
    Lj c;
    const float cut = std::min(kCut, 1.6f * r0);
    auto f = [&](float d) {
      float x = r0 * r0 / (d * d);
      float x3 = x * x * x;
      return par_.eps_lj * (x3 * x3 - 2.0f * x3);
    };
    c.r0sq = r0 * r0;
    c.cut2 = cut * cut;
    c.shift = f(cut);
    c.dmin = 0.85f * r0;
    c.dmin2 = c.dmin * c.dmin;
    c.e_dmin = f(c.dmin);
    const float x = r0 / c.dmin, x6 = x * x * x * x * x * x;
    c.slope = 12.0f * par_.eps_lj / c.dmin * (x6 * x6 - x6);  // -dE/dd at dmin
    return c;
  }
  float lj(const Lj& c, float d2) const {
    if (d2 >= c.cut2) return 0.0f;
    if (d2 >= c.dmin2) {
      const float x = c.r0sq / d2, x3 = x * x * x;
      return par_.w_rep * (par_.eps_lj * (x3 * x3 - 2.0f * x3) - c.shift);
    }
    return par_.w_rep * (c.e_dmin - c.shift + c.slope * (c.dmin - std::sqrt(d2)));
  }

  Params par_;
  Lj plain_[4][4], hb_, ss_;
  float clash2_[4][4], clash_[4][4];
};

// The pair term of each pair of atom kinds tabulated on the squared distance (linear
// interpolation); the tables of the kinds present are made before use.
class PairTable {
 public:
  static constexpr float kStep = 0.1f;  // A^2 (0.015 A at 3 A)
  static constexpr int kBins = int(kCut2 / kStep) + 2;
  static constexpr std::size_t kStride = std::size_t(kBins) + 1;
  explicit PairTable(const PairTerm& t) : term_(t) { tab_of_.fill(nullptr); }
  // Makes the tables of every pair of these kinds (one kind per code).
  void prepare(const std::vector<Kind>& kinds) {
    tab_.assign(kinds.size() * kinds.size() * kStride, 0.0f);
    float* t = tab_.data();
    for (const Kind& a : kinds)
      for (const Kind& b : kinds) {
        for (int k = 0; k <= kBins; ++k) {
          const float d2 = float(k) * kStep;
          t[std::size_t(k)] = d2 < kCut2 ? term_(a, b, std::max(d2, 0.01f)) : 0.0f;
        }
        tab_of_[std::size_t(a.code * 32 + b.code)] = t;
        t += kStride;
      }
  }
  float operator()(const Kind& a, const Kind& b, float d2) const {
    const float* t = tab_of_[std::size_t(a.code * 32 + b.code)];
    const float x = d2 * (1.0f / kStep);
    const int k = int(x);
    const float f = x - float(k);
    return t[std::size_t(k)] + f * (t[std::size_t(k) + 1] - t[std::size_t(k)]);
  }

 private:
  const PairTerm& term_;
  std::vector<float> tab_;
  std::array<const float*, 32 * 32> tab_of_;
};

struct Candidate {
  std::vector<Vec3> xyz;  // side chain CG onward
  std::array<float, 4> chi{};
  std::array<float, 4> centre_chi{}, sd{};  // the library rotamer's (flip included)
  float e_lib = 0;  // rotamer term at the library centre
  float e_rot = 0;
  float e_self = 0;
  Vec3 centre;
  float radius = 0;
};

struct Site {
  int res = 0;
  const ScTopology* topo = nullptr;
  Vec3 n, ca, c, cb;
  std::vector<Kind> kinds;  // per side-chain atom
  std::vector<Candidate> cand;
  float reach = 0;  // largest distance of a candidate atom from CB
  std::vector<int> near_fixed;  // fixed atoms it can meet (its own residue and bonds aside)
  std::vector<int> near_sites;  // sites whose side chains it can meet
  std::vector<std::pair<std::uint8_t, EAtom>> intra;  // (side-chain atom, own backbone atom)
  std::span<const Rotamer> rots;
  float pbest = 1;
  bool pro = false;
};

// Uniform grid of the fixed atoms for neighbour queries.
class Grid {
 public:
  Grid(const std::vector<EAtom>& atoms, float cell) : atoms_(atoms), cell_(cell) {
    if (atoms.empty()) return;
    lo_ = hi_ = atoms[0].p;
    for (const EAtom& a : atoms) {
      lo_.x = std::min(lo_.x, a.p.x), lo_.y = std::min(lo_.y, a.p.y), lo_.z = std::min(lo_.z, a.p.z);
      hi_.x = std::max(hi_.x, a.p.x), hi_.y = std::max(hi_.y, a.p.y), hi_.z = std::max(hi_.z, a.p.z);
    }
    for (int d = 0; d < 3; ++d) dim_[d] = 1 + int(((&hi_.x)[d] - (&lo_.x)[d]) / cell_);
    start_.assign(std::size_t(dim_[0]) * std::size_t(dim_[1]) * std::size_t(dim_[2]) + 1, 0);
    std::vector<std::size_t> cell_of(atoms.size());
    for (std::size_t k = 0; k < atoms.size(); ++k) {
      cell_of[k] = index(atoms[k].p);
      ++start_[cell_of[k] + 1];
    }
    for (std::size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
    order_.resize(atoms.size());
    std::vector<std::size_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t k = 0; k < atoms.size(); ++k) order_[fill[cell_of[k]]++] = int(k);
  }
  // Indexes of atoms within r of p (a superset: whole cells).
  void near(Vec3 p, float r, std::vector<int>& out) const {
    out.clear();
    if (atoms_.empty()) return;
    int lo[3], hi[3];
    for (int d = 0; d < 3; ++d) {
      lo[d] = std::max(0, int(std::floor(((&p.x)[d] - r - (&lo_.x)[d]) / cell_)));
      hi[d] = std::min(dim_[d] - 1, int(std::floor(((&p.x)[d] + r - (&lo_.x)[d]) / cell_)));
    }
    const float r2 = r * r;
    for (int i = lo[0]; i <= hi[0]; ++i)
      for (int j = lo[1]; j <= hi[1]; ++j)
        for (int k = lo[2]; k <= hi[2]; ++k) {
          std::size_t c = (std::size_t(i) * std::size_t(dim_[1]) + std::size_t(j)) *
                              std::size_t(dim_[2]) + std::size_t(k);
          for (std::size_t q = start_[c]; q < start_[c + 1]; ++q)
            if (norm2(atoms_[std::size_t(order_[q])].p - p) <= r2) out.push_back(order_[q]);
        }
  }

 private:
  std::size_t index(Vec3 p) const {
    int c[3];
    for (int d = 0; d < 3; ++d)
      c[d] = std::clamp(int(((&p.x)[d] - (&lo_.x)[d]) / cell_), 0, dim_[d] - 1);
    return (std::size_t(c[0]) * std::size_t(dim_[1]) + std::size_t(c[1])) * std::size_t(dim_[2]) +
           std::size_t(c[2]);
  }
  const std::vector<EAtom>& atoms_;
  float cell_;
  Vec3 lo_, hi_;
  int dim_[3] = {0, 0, 0};
  std::vector<std::size_t> start_;
  std::vector<int> order_;
};

const Atom* find(const Residue& r, std::string_view name) {
  for (const Atom& a : r.atoms)
    if (a.name == name) return &a;
  return nullptr;
}

bool flips(std::string_view r) { return r == "HIS" || r == "ASN" || r == "GLN"; }
// Residues whose chi2 expansion pays: rings and branched or planar ends that sit close to the
// neighbours.
bool expand_chi2(std::string_view r) {
  return r == "PHE" || r == "TYR" || r == "TRP" || r == "HIS" || r == "ASN" || r == "ASP" ||
         r == "LEU" || r == "ILE";
}

// Deterministic stream for the restarts.
struct Lcg {
  std::uint64_t s;
  std::uint32_t next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return std::uint32_t(s >> 33);
  }
};

}  // namespace

Result pack(const std::vector<Residue>& residues, const std::vector<Atom>& others,
            const RotamerLibrary& lib, const SideChainGeometry& geo, const Params& par) {
  const std::size_t nres = residues.size();
  Result out;
  out.side.resize(nres);
  const PairTerm term(par);
  PairTable table(term);

  // Sites: packed residues with N, CA and C; CB from the backbone.
  std::vector<Site> sites;
  std::vector<int> site_of(nres, -1);
  auto bonded = [&](std::size_t i) {  // C(i)-N(i+1) at most 2.0 A
    if (i + 1 >= nres) return false;
    const Atom* c = find(residues[i], "C");
    const Atom* n = find(residues[i + 1], "N");
    return c && n && dist(c->p, n->p) <= 2.0f;
  };
  for (std::size_t i = 0; i < nres; ++i) {
    const Residue& r = residues[i];
    if (!r.pack) continue;
    const ScTopology* t = geo.topology(r.name);
    const Atom *n = find(r, "N"), *ca = find(r, "CA"), *c = find(r, "C");
    if (!t || !n || !ca || !c) continue;
    Site s;
    s.res = int(i);
    s.topo = t;
    s.n = n->p, s.ca = ca->p, s.c = c->p;
    // A CB given with the backbone is kept (it carries the residue's real geometry); else
    // it is placed on the ideal geometry.
    const Atom* cb_in = find(r, "CB");
    s.cb = cb_in ? cb_in->p : place_cb(*t, s.n, s.ca, s.c);
    out.side[i].push_back({"CB", 'C', s.cb});
    for (const ScAtom& a : t->atoms) s.kinds.push_back(kind_of(r.name, a.name, a.element, true));
    // The residue's own N, C and O against side-chain atoms more than three bonds away (depth
    // from CA: CB 1, then one more per bond); the proline ring closes on N and is left out.
    if (par.intra && r.name != "PRO") {
      std::vector<int> depth{1, 0, 1, 1};  // N, CA, C, CB
      for (const ScAtom& a : t->atoms) depth.push_back(depth[std::size_t(a.c)] + 1);
      for (const char* bn : {"N", "C", "O", "OXT"}) {
        const Atom* b = find(r, bn);
        if (!b) continue;
        const int extra = bn[0] == 'O' ? 2 : 1;
        Kind k = kind_of(r.name, bn, b->element, true);
        if (!par.intra_hb) k.donor = k.acceptor = false, set_code(k);
        for (std::size_t a = 0; a < t->atoms.size(); ++a)
          if (depth[a + 4] + extra > 3) s.intra.push_back({std::uint8_t(a), EAtom{b->p, k, int(i)}});
      }
    }
    if (t->atoms.empty()) continue;  // ALA: CB only
    site_of[i] = int(sites.size());
    sites.push_back(std::move(s));
  }

  // Fixed atoms: every heavy atom that stays, the CBs just placed, and the others.
  std::vector<EAtom> fixed;
  for (std::size_t i = 0; i < nres; ++i) {
    const Residue& r = residues[i];
    for (const Atom& a : r.atoms)
      if (a.element != 'H')
        fixed.push_back({a.p, kind_of(r.name, a.name, a.element, true), int(i), a.name == "CA"});
    if (r.pack && !out.side[i].empty() && !find(r, "CB"))
      fixed.push_back({out.side[i][0].p, kind_of(r.name, "CB", 'C', true), int(i)});
  }
  for (const Atom& a : others)
    if (a.element != 'H') fixed.push_back({a.p, kind_of("", a.name, a.element, false), -1});
  Grid grid(fixed, 4.0f);
  {
    // One kind per code present: the side chains', their own backbone's and the fixed atoms'.
    std::uint32_t mask = 0;
    std::vector<Kind> kinds;
    auto add = [&](const Kind& k) {
      if (!(mask >> k.code & 1)) mask |= 1u << k.code, kinds.push_back(k);
    };
    for (const Site& st : sites) {
      for (const Kind& k : st.kinds) add(k);
      for (const auto& pr : st.intra) add(pr.second.k);
    }
    for (const EAtom& f : fixed) add(f.k);
    table.prepare(kinds);
  }

  // Candidates: library rotamers for the residue's phi and psi, expanded by +-1 sd on chi1
  // (and chi2 where it pays), the HIS, ASN and GLN flips, built and scored against the fixed
  // atoms.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<int> nearby;
  std::vector<float> fx, fy, fz, fd2;
  for (Site& s : sites) {
    const Residue& r = residues[std::size_t(s.res)];
    const std::size_t i = std::size_t(s.res);
    float phi = nan, psi = nan;
    if (i > 0 && bonded(i - 1)) phi = dihedral_deg(find(residues[i - 1], "C")->p, s.n, s.ca, s.c);
    if (bonded(i)) psi = dihedral_deg(s.n, s.ca, s.c, find(residues[i + 1], "N")->p);
    std::span<const Rotamer> rots = lib.lookup(r.name, phi, psi);
    const int nchi = s.topo->nchi;
    const bool flip = flips(r.name);
    const bool ex2 = expand_chi2(r.name) && nchi >= 2;
    float pbest = 0;
    for (const Rotamer& ro : rots) pbest = std::max(pbest, ro.prob);
    const bool pro_skip = r.name == "PRO" && i > 0 && bonded(i - 1);
    std::vector<Vec3> xyz(s.topo->atoms.size());
    for (const Rotamer& ro : rots) {
      const bool expand = ro.prob >= par.expand_prob && nchi >= 1 && r.name != "PRO";
      for (int e1 = 0; e1 < (expand ? 3 : 1); ++e1)
        for (int e2 = 0; e2 < (expand && ex2 ? 3 : 1); ++e2)
          for (int f = 0; f < (flip ? 2 : 1); ++f) {
            Candidate cd;
            cd.chi = ro.chi;
            cd.sd = ro.sd;
            cd.centre_chi = ro.chi;
            if (f) cd.centre_chi[std::size_t(nchi - 1)] += 180.0f;
            cd.e_lib = -par.w_rot * std::log(std::max(ro.prob, 1e-5f) / pbest);
            const float step[3] = {0.0f, -1.0f, 1.0f};
            cd.chi[0] += step[e1] * ro.sd[0];
            if (nchi >= 2) cd.chi[1] += step[e2] * ro.sd[1];
            if (f) cd.chi[std::size_t(nchi - 1)] += 180.0f;
            cd.e_rot = cd.e_lib + 0.5f * par.w_rot * float((e1 > 0) + (e2 > 0));
            const float chi2 = build_side_chain(*s.topo, s.n, s.ca, s.c, s.cb, cd.chi, xyz.data());
            cd.chi[1] = nchi >= 2 ? chi2 : cd.chi[1];
            cd.xyz = xyz;
            s.cand.push_back(std::move(cd));
          }
    }
    if (s.cand.empty()) {  // no rotamer in the library: the first chis all 180
      Candidate cd;
      cd.chi = cd.centre_chi = {180, 180, 180, 180};
      cd.sd = {15, 15, 15, 15};
      build_side_chain(*s.topo, s.n, s.ca, s.c, s.cb, cd.chi, xyz.data());
      cd.xyz = xyz;
      s.cand.push_back(std::move(cd));
    }
    for (Candidate& cd : s.cand) {
      Vec3 sum;
      for (Vec3 p : cd.xyz) sum = sum + p;
      cd.centre = sum / float(cd.xyz.size());
      for (Vec3 p : cd.xyz) cd.radius = std::max(cd.radius, dist(p, cd.centre));
      for (Vec3 p : cd.xyz) s.reach = std::max(s.reach, dist(p, s.cb));
    }
    s.rots = rots;
    s.pbest = pbest > 0 ? pbest : 1;
    s.pro = r.name == "PRO";
    // Fixed atoms within reach, the residue's own aside and, for a proline whose ring closes
    // on N(i), the CA of residue i-1 (its C and O stay, so that a ring closed too near them
    // is seen and the clash pass tries the others).
    grid.near(s.cb, s.reach + kCut, nearby);
    for (int q : nearby) {
      const EAtom& f = fixed[std::size_t(q)];
      if (f.res == s.res || (pro_skip && f.res == s.res - 1 && f.ca)) continue;
      s.near_fixed.push_back(q);
    }
    // The fixed atoms side by side; per candidate, those within its sphere first.
    const std::size_t nf = s.near_fixed.size();
    fx.resize(nf), fy.resize(nf), fz.resize(nf), fd2.resize(nf);
    for (std::size_t k = 0; k < nf; ++k) {
      const Vec3 p = fixed[std::size_t(s.near_fixed[k])].p;
      fx[k] = p.x, fy[k] = p.y, fz[k] = p.z;
    }
    for (Candidate& cd : s.cand) {
      float e = cd.e_rot;
      const Vec3 c = cd.centre;
      for (std::size_t k = 0; k < nf; ++k) {
        const float dx = fx[k] - c.x, dy = fy[k] - c.y, dz = fz[k] - c.z;
        fd2[k] = dx * dx + dy * dy + dz * dz;
      }
      const float lim = (cd.radius + kCut) * (cd.radius + kCut);
      for (std::size_t k = 0; k < nf; ++k) {
        if (fd2[k] > lim) continue;
        const EAtom& f = fixed[std::size_t(s.near_fixed[k])];
        for (std::size_t a = 0; a < cd.xyz.size(); ++a) {
          float d2 = norm2(cd.xyz[a] - f.p);
          if (d2 < kCut2) e += table(s.kinds[a], f.k, d2);
        }
      }
      for (const auto& [a, b] : s.intra) {
        const float d2 = norm2(cd.xyz[a] - b.p);
        if (d2 < kCut2) e += table(s.kinds[a], b.k, d2);
      }
      cd.e_self = e;
    }
    // Prune the hopeless: far above the best self energy.
    float best = std::numeric_limits<float>::max();
    for (const Candidate& cd : s.cand) best = std::min(best, cd.e_self);
    std::vector<Candidate> kept;
    for (Candidate& cd : s.cand)
      if (cd.e_self <= best + par.prune) kept.push_back(std::move(cd));
    s.cand = std::move(kept);
    out.rotamers += int(s.cand.size());
  }

  // Pair tables between sites whose side chains can meet.
  struct Edge {
    int a, b;
    std::vector<float> e;  // [ra * nb + rb]
    float e_min = 0;  // the lowest of e
  };
  std::vector<Edge> edges;
  std::vector<std::vector<std::pair<int, int>>> adj(sites.size());  // (other site, edge)
  std::vector<float> bx, by, bz, d2s;
  std::vector<const Kind*> bk;
  std::vector<std::uint32_t> boff, live;
  std::vector<std::uint8_t> near_a;
  for (std::size_t a = 0; a < sites.size(); ++a)
    for (std::size_t b = a + 1; b < sites.size(); ++b) {
      const Site &sa = sites[a], &sb = sites[b];
      const float lim = sa.reach + sb.reach + kCut;
      if (norm2(sa.cb - sb.cb) > lim * lim) continue;
      // (A side chain and the ring of the proline after it are five bonds apart or more:
      // they meet like any other pair.)
      sites[a].near_sites.push_back(int(b));
      sites[b].near_sites.push_back(int(a));
      Edge ed{int(a), int(b), std::vector<float>(sa.cand.size() * sb.cand.size(), 0.0f)};
      bool any = false;
      {
        // The atoms of b's candidates that can reach a's side chain at all, side by side
        // (candidate rb: bx[boff[rb]] .. bx[boff[rb + 1] - 1]); each atom of a candidate of a
        // within reach of b is measured against all of them at once.
        const float rb_ = sa.reach + kCut, ra_ = sb.reach + kCut;
        bx.clear(), by.clear(), bz.clear(), bk.clear(), boff.assign(1, 0);
        for (const Candidate& cd : sb.cand) {
          for (std::size_t j = 0; j < cd.xyz.size(); ++j)
            if (norm2(cd.xyz[j] - sa.cb) <= rb_ * rb_)
              bx.push_back(cd.xyz[j].x), by.push_back(cd.xyz[j].y), bz.push_back(cd.xyz[j].z),
                  bk.push_back(&sb.kinds[j]);
          boff.push_back(std::uint32_t(bx.size()));
        }
        const std::size_t ncb = sb.cand.size();
        live.clear();
        for (std::size_t rb = 0; rb < ncb; ++rb)
          if (boff[rb] != boff[rb + 1]) live.push_back(std::uint32_t(rb));
        for (std::size_t ra = 0; ra < sa.cand.size() && !live.empty(); ++ra) {
          const Candidate& ca = sa.cand[ra];
          near_a.clear();
          for (std::size_t i = 0; i < ca.xyz.size(); ++i)
            if (norm2(ca.xyz[i] - sb.cb) <= ra_ * ra_) near_a.push_back(std::uint8_t(i));
          if (near_a.empty()) continue;
          float* row = ed.e.data() + ra * ncb;
          for (std::uint32_t rb : live) {
            const Candidate& cb = sb.cand[rb];
            const float l = ca.radius + cb.radius + kCut;
            if (norm2(ca.centre - cb.centre) > l * l) continue;
            const float rb2 = (cb.radius + kCut) * (cb.radius + kCut);
            float e = 0;
            for (std::uint8_t i : near_a) {
              const Vec3 pa = ca.xyz[i];
              if (norm2(pa - cb.centre) > rb2) continue;
              const Kind& ka = sa.kinds[i];
              for (std::uint32_t q = boff[rb]; q < boff[rb + 1]; ++q) {
                const float dx = bx[q] - pa.x, dy = by[q] - pa.y, dz = bz[q] - pa.z;
                const float d2 = dx * dx + dy * dy + dz * dz;
                if (d2 < kCut2) e += table(ka, *bk[q], d2);
              }
            }
            row[rb] = e;
            any = any || e != 0.0f;
          }
        }
      }
      if (!any) continue;
      ed.e_min = *std::min_element(ed.e.begin(), ed.e.end());
      adj[a].push_back({int(b), int(edges.size())});
      adj[b].push_back({int(a), int(edges.size())});
      edges.push_back(std::move(ed));
    }

  // Search: iterated conditional modes from the best self energies, then pair moves (and
  // restarts from perturbed assignments, when asked); the lowest total wins (ties: the
  // earlier one).
  const std::size_t ns = sites.size();

  // Local energies of every candidate of site s with the other sites as in cur, a neighbour's
  // column of pair energies added in turn (the sums as local() makes them).
  auto local_of = [&](std::size_t s, const std::vector<int>& cur, std::vector<double>& out_e) {
    const std::size_t nc = sites[s].cand.size();
    out_e.resize(nc);
    for (std::size_t r = 0; r < nc; ++r) out_e[r] = sites[s].cand[r].e_self;
    for (const auto& nb : adj[s]) {
      const Edge& ed = edges[std::size_t(nb.second)];
      const std::size_t nbc = sites[std::size_t(ed.b)].cand.size();
      if (ed.a == int(s)) {
        const float* col = ed.e.data() + std::size_t(cur[std::size_t(ed.b)]);
        for (std::size_t r = 0; r < nc; ++r) out_e[r] += col[r * nbc];
      } else {
        const float* row = ed.e.data() + std::size_t(cur[std::size_t(ed.a)]) * nbc;
        for (std::size_t r = 0; r < nc; ++r) out_e[r] += row[r];
      }
    }
  };
  std::vector<double> loc;
  // A site none of whose neighbours changed since it was last visited keeps its choice, so
  // it is not visited again.
  std::vector<char> dirty;
  auto icm_sites = [&](std::vector<int>& cur) {
    dirty.assign(ns, 1);
    for (int sweep = 0; sweep < 100; ++sweep) {
      bool changed = false;
      for (std::size_t s = 0; s < ns; ++s) {
        if (!dirty[s]) continue;
        dirty[s] = 0;
        const std::size_t nc = sites[s].cand.size();
        local_of(s, cur, loc);
        int best = cur[s];
        double be = loc[std::size_t(best)];
        for (std::size_t r = 0; r < nc; ++r)
          if (loc[r] < be - 1e-9) be = loc[r], best = int(r);
        if (best != cur[s]) {
          cur[s] = best, changed = true;
          for (const auto& nb : adj[s]) dirty[std::size_t(nb.first)] = 1;
        }
      }
      if (!changed) break;
    }
  };
  // Pair moves: the two sites of each interacting pair chosen together, the rest fixed
  // (ICM alone stops where no single site can improve). True when anything changed.
  // Local energies are kept per site and made again only after a neighbour changed.
  std::vector<std::vector<double>> lcache(ns);
  std::vector<char> lvalid;
  std::vector<double> la, lb;
  auto pair_moves = [&](std::vector<int>& cur) {
    bool changed = false;
    lvalid.assign(ns, 0);
    auto get = [&](std::size_t s, std::vector<double>& v) {
      if (!lvalid[s]) local_of(s, cur, lcache[s]), lvalid[s] = 1;
      v = lcache[s];
    };
    for (const Edge& ed : edges) {
      const std::size_t a = std::size_t(ed.a), b = std::size_t(ed.b);
      const std::size_t na = sites[a].cand.size(), nb = sites[b].cand.size();
      if (na * nb <= 1) continue;
      get(a, la);
      get(b, lb);
      const std::size_t ca = std::size_t(cur[a]), cb = std::size_t(cur[b]);
      // Without the pair's own term, which the joint choice adds back.
      for (std::size_t r = 0; r < na; ++r) la[r] -= ed.e[r * nb + cb];
      for (std::size_t r = 0; r < nb; ++r) lb[r] -= ed.e[ca * nb + r];
      double be = la[ca] + lb[cb] + ed.e[ca * nb + cb];
      std::size_t ba = ca, bb = cb;
      // A row whose sum with the lowest of lb and of the pair's terms cannot win is skipped
      // (the same choice: rounding keeps the order of sums).
      const double lb_min = *std::min_element(lb.begin(), lb.end());
      for (std::size_t ra = 0; ra < na; ++ra) {
        if (la[ra] + lb_min + ed.e_min >= be - 1e-6) continue;
        const float* row = ed.e.data() + ra * nb;
        for (std::size_t rb = 0; rb < nb; ++rb) {
          const double e = la[ra] + lb[rb] + row[rb];
          if (e < be - 1e-6) be = e, ba = ra, bb = rb;
        }
      }
      if (ba != ca || bb != cb) {
        cur[a] = int(ba), cur[b] = int(bb), changed = true;
        for (const auto& nbr : adj[a]) lvalid[std::size_t(nbr.first)] = 0;
        for (const auto& nbr : adj[b]) lvalid[std::size_t(nbr.first)] = 0;
      }
    }
    return changed;
  };
  auto icm = [&](std::vector<int>& cur) {
    icm_sites(cur);
    for (int pass = 0; pass < par.pair_passes && pair_moves(cur); ++pass) icm_sites(cur);
  };
  auto total = [&](const std::vector<int>& cur) {
    double e = 0;
    for (std::size_t s = 0; s < ns; ++s) e += sites[s].cand[std::size_t(cur[s])].e_self;
    for (const Edge& ed : edges)
      e += ed.e[std::size_t(cur[std::size_t(ed.a)]) * sites[std::size_t(ed.b)].cand.size() +
                std::size_t(cur[std::size_t(ed.b)])];
    return e;
  };
  std::vector<int> best(ns, 0);
  for (std::size_t s = 0; s < ns; ++s)
    for (int r = 0; r < int(sites[s].cand.size()); ++r)
      if (sites[s].cand[std::size_t(r)].e_self < sites[s].cand[std::size_t(best[s])].e_self) best[s] = r;
  icm(best);
  double best_e = total(best);
  Lcg rng{12345};
  for (int k = 0; k < par.restarts; ++k) {
    std::vector<int> cur = best;
    for (std::size_t s = 0; s < ns; ++s)
      if (rng.next() % 4 == 0) cur[s] = int(rng.next() % std::uint32_t(sites[s].cand.size()));
    icm(cur);
    double e = total(cur);
    if (e < best_e - 1e-9) best_e = e, best = cur;
  }
  out.energy = best_e;

  // Refinement on the chosen rotamers: torsions moved off the library centres (rotamer term
  // 0.5 w_rot per squared spread), against the fixed atoms and the other side chains as they
  // stand, with a penalty on contacts closer than the limits (clash_limit for non-bonding
  // pairs, hb_limit for donor-acceptor pairs) and, first of all, on pairs closer than 2.0 A.
  struct Pose {
    std::vector<Vec3> xyz;
    std::array<float, 4> chi{}, centre{}, sd{};
    float e_lib = 0;
    Vec3 mid;  // bounding sphere of xyz
    float rad = 0;
  };
  auto bound = [](Pose& p) {
    Vec3 sum;
    for (Vec3 x : p.xyz) sum = sum + x;
    p.mid = sum / float(std::max<std::size_t>(p.xyz.size(), 1));
    p.rad = 0;
    for (Vec3 x : p.xyz) p.rad = std::max(p.rad, dist(x, p.mid));
  };
  std::vector<Pose> pose(ns);
  for (std::size_t s = 0; s < ns; ++s) {
    const Candidate& cd = sites[s].cand[std::size_t(best[s])];
    pose[s] = {cd.xyz, cd.chi, cd.centre_chi, cd.sd, cd.e_lib, {}, 0};
    bound(pose[s]);
  }
  struct Score {
    int hard = 0;  // pairs below 2.0 A (disulfide SG pairs aside)
    int close = 0;  // pairs penalised (inside the limit)
    double e = 0;
    bool operator<(const Score& o) const { return hard != o.hard ? hard < o.hard : e < o.e - 1e-9; }
  };
  float lim2[4][4], lim[4][4];
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b) {
      lim[a][b] = std::max(par.clash_limit, par.clash_scale * (kRadius[a] + kRadius[b]));
      lim2[a][b] = lim[a][b] * lim[a][b];
    }
  auto contact = [&](const Kind& a, const Kind& b, float d2, Score& sc) {
    if (d2 >= kCut2) return;
    sc.e += table(a, b, d2);
    if (a.sg && b.sg) return;
    if (d2 < 4.0f) ++sc.hard;
    if ((a.donor && b.acceptor) || (a.acceptor && b.donor)) {
      if (d2 < par.hb_limit * par.hb_limit) ++sc.close, sc.e += par.w_fine_clash * 10.0f * (par.hb_limit - std::sqrt(d2));
      return;
    }
    if (d2 < lim2[a.elem][b.elem]) ++sc.close, sc.e += par.w_fine_clash * 10.0f * (lim[a.elem][b.elem] - std::sqrt(d2));
  };
  auto angle_diff = [](float a, float b) {
    float d = std::fmod(a - b, 360.0f);
    if (d > 180.0f) d -= 360.0f;
    if (d < -180.0f) d += 360.0f;
    return d;
  };
  auto evaluate = [&](std::size_t s, const Pose& p) {
    const Site& st = sites[s];
    Score sc;
    sc.e = p.e_lib;
    for (int k = 0; k < std::min(st.topo->nchi, 3); ++k) {
      const float u = angle_diff(p.chi[std::size_t(k)], p.centre[std::size_t(k)]) /
                      std::max(p.sd[std::size_t(k)], 5.0f);
      sc.e += 0.5 * par.w_rot * u * u;
    }
    for (const auto& [a, b] : st.intra) contact(st.kinds[a], b.k, norm2(p.xyz[a] - b.p), sc);
    const float reach = p.rad + kCut;
    for (int q : st.near_fixed) {
      const EAtom& f = fixed[std::size_t(q)];
      if (norm2(f.p - p.mid) > reach * reach) continue;
      for (std::size_t a = 0; a < p.xyz.size(); ++a) contact(st.kinds[a], f.k, norm2(p.xyz[a] - f.p), sc);
    }
    for (int t : st.near_sites) {
      const Pose& o = pose[std::size_t(t)];
      if (norm2(o.mid - p.mid) > (reach + o.rad) * (reach + o.rad)) continue;
      const std::vector<Kind>& ok = sites[std::size_t(t)].kinds;
      for (std::size_t a = 0; a < p.xyz.size(); ++a)
        for (std::size_t b = 0; b < o.xyz.size(); ++b) contact(st.kinds[a], ok[b], norm2(p.xyz[a] - o.xyz[b]), sc);
    }
    return sc;
  };
  auto rebuild = [&](std::size_t s, Pose& p) {
    const Site& st = sites[s];
    build_side_chain(*st.topo, st.n, st.ca, st.c, st.cb, p.chi, p.xyz.data());
    bound(p);
  };
  // Steepest descent on chi1..chi3 in steps of 10 then 5 degrees, within fine_max of the
  // library centre.
  auto descend = [&](std::size_t s, Pose& p, Score sc) {
    const Site& st = sites[s];
    if (st.pro || par.fine_max <= 0) return sc;
    const int nk = std::min(st.topo->nchi, 3);
    Pose q = p;
    for (float step : {10.0f, 5.0f})
      for (int it = 0; it < 12; ++it) {
        bool moved = false;
        for (int k = 0; k < nk; ++k)
          for (float dir : {-1.0f, 1.0f}) {
            const float chi = p.chi[std::size_t(k)] + dir * step;
            if (std::fabs(angle_diff(chi, p.centre[std::size_t(k)])) > par.fine_max) continue;
            q = p;  // same sizes: no allocation
            q.chi[std::size_t(k)] = chi;
            rebuild(s, q);
            const Score qs = evaluate(s, q);
            if (qs < sc) std::swap(p, q), sc = qs, moved = true;
          }
        if (!moved) break;
      }
    return sc;
  };
  if (par.fine_max > 0)
    for (int sweep = 0; sweep < 3; ++sweep) {
      bool any = false;
      for (std::size_t s = 0; s < ns; ++s) {
        Score sc = evaluate(s, pose[s]);
        if (sc.hard == 0 && sc.close == 0) continue;
        const Score before = sc;
        sc = descend(s, pose[s], sc);
        if (sc < before) any = true;
      }
      if (!any) break;
    }
  // Clash removal: a side chain still within 2.0 A of another residue's atom tries every
  // candidate kept (each refined) and then every library rotamer on a 10-degree chi1 scan
  // (flips included), and takes the best by the count of such pairs, then energy.
  for (std::size_t s = 0; s < ns; ++s) {
    Score sc = evaluate(s, pose[s]);
    if (sc.hard == 0) continue;
    const Site& st = sites[s];
    auto consider = [&](Pose q) {
      rebuild(s, q);
      Score qs = descend(s, q, evaluate(s, q));
      if (qs < sc) pose[s] = std::move(q), sc = qs;
    };
    for (const Candidate& cd : st.cand) {
      if (sc.hard == 0) break;
      consider({cd.xyz, cd.chi, cd.centre_chi, cd.sd, cd.e_lib, {}, 0});
    }
    const int nchi = st.topo->nchi;
    const bool flip = flips(residues[std::size_t(st.res)].name);
    for (const Rotamer& ro : st.rots) {
      if (sc.hard == 0) break;
      for (int f = 0; f < (flip ? 2 : 1); ++f)
        for (int k = 0; k < 36; ++k) {
          Pose q{pose[s].xyz, ro.chi, ro.chi, ro.sd, -par.w_rot * std::log(std::max(ro.prob, 1e-5f) / st.pbest), {}, 0};
          if (f) q.chi[std::size_t(nchi - 1)] += 180.0f, q.centre[std::size_t(nchi - 1)] += 180.0f;
          q.chi[0] = -180.0f + 10.0f * float(k);
          rebuild(s, q);
          const Score qs = evaluate(s, q);
          if (qs < sc) pose[s] = std::move(q), sc = qs;
        }
    }
  }

  for (std::size_t s = 0; s < ns; ++s) {
    const Site& st = sites[s];
    for (std::size_t a = 0; a < pose[s].xyz.size(); ++a)
      out.side[std::size_t(st.res)].push_back({st.topo->atoms[a].name, st.topo->atoms[a].element, pose[s].xyz[a]});
  }
  return out;
}

}  // namespace vorb::packer
