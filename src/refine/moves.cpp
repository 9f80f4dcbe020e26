#include "refine/moves.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "analysis/lattice.hpp"
#include "builders/backbone.hpp"
#include "geometry/near_pairs.hpp"
#include "geometry/random.hpp"
#include "geometry/rotate.hpp"
#include "geometry/vec3.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "model/coords.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

Vec3 bkpos(const ModelState& s, int i) { return {s.bkxx(i), s.bkyy(i), s.bkzz(i)}; }
Vec3 pos0(const ModelState& s, int i) { return {s.xx0(i), s.yy0(i), s.zz0(i)}; }
Vec3 capos(const ModelState& s, int r) { return pos(s, s.ica(r)); }

void say(const ffmt::ListWriter& w) { message_stream() << w.str() << '\n'; }

// Moves the C-alpha of residue r by d * g, at half step when frozen, scaled by pushf when marked.
void move_ca(ModelState& s, int r, Vec3 d, float g) {
  const int c = s.ica(r);
  float fx = d.x * g, fy = d.y * g, fz = d.z * g;
  if (s.resfix(r) == 2) {
    fx = fx * 0.5f;
    fy = fy * 0.5f;
    fz = fz * 0.5f;
  } else if (s.resfix(r) != 0) {
    fx = fx * s.pushf;
    fy = fy * s.pushf;
    fz = fz * s.pushf;
  }
  s.xx(c) = s.xx(c) + fx;
  s.yy(c) = s.yy(c) + fy;
  s.zz(c) = s.zz(c) + fz;
}

// ---- local relaxation ------------------------------------------------------------------------

// One distance constraint of a re-placed atom: partner atom, squared target, squared reference.
struct Constraint {
  int partner = 0;
  float t = 0.0f;
  float q = 0.0f;
  bool has_ref = false;
};

enum class Kind { n, ca, c };

// Squared ideal distances of N, CA and C to their neighbours.
constexpr float kDdn[3] = {5.81753f, 5.51091f, 1.809f};
constexpr float kDdca[5] = {14.5161f, 14.5161f, 5.81753f, 5.77275f, 2.0449f};
constexpr float kDdc[3] = {5.51091f, 5.77275f, 2.2201f};

float ref_d2(const ModelState& s, int i, int j) { return norm2(pos0(s, i) - pos0(s, j)); }

// Constraints of one atom of residue r, with their reference distances from xx0.
int constraints_of(const ModelState& s, int r, Kind k, Constraint out[5]) {
  const int n = s.ica(r) - 1, ca = s.ica(r), c = s.ica(r) + 1;
  const int cap = s.ica(r - 1), cp = s.ica(r - 1) + 1;
  const int can = s.ica(r + 1), nn = s.ica(r + 1) - 1;
  auto ref = [&](int self, int partner, float t) {
    return Constraint{partner, t, ref_d2(s, self, partner), true};
  };
  switch (k) {
    case Kind::n:
      out[0] = ref(n, cap, kDdn[0]);
      out[1] = ref(n, c, kDdn[1]);
      out[2] = Constraint{cp, kDdn[2], 0.0f, false};
      return 3;
    case Kind::ca:
      out[0] = ref(ca, cap, kDdca[0]);
      out[1] = ref(ca, can, kDdca[1]);
      out[2] = ref(ca, nn, kDdca[2]);
      out[3] = ref(ca, cp, kDdca[3]);
      out[4] = Constraint{n, kDdca[4], 0.0f, false};
      return 5;
    case Kind::c:
      out[0] = ref(c, n, kDdc[0]);
      out[1] = ref(c, can, kDdc[1]);
      out[2] = Constraint{ca, kDdc[2], 0.0f, false};
      return 3;
  }
  return 0;
}

// Partners not yet re-placed (higher atom index) are read from the last accepted model.
Vec3 partner_pos(const ModelState& s, int self, int partner) {
  return partner > self ? bkpos(s, partner) : pos(s, partner);
}

bool outside_band(float d2, const Constraint& c) {
  return (d2 < 0.97f * c.t && d2 < c.q) || (d2 > 1.03f * c.t && d2 > c.q);
}

bool wants_projection(float d2, const Constraint& c) {
  if (!c.has_ref) return d2 <= 0.97f * c.t || d2 >= 1.03f * c.t;
  return (d2 <= 0.97f * c.t && d2 <= c.q) || (d2 >= 1.03f * c.t && d2 >= c.q);
}

// Draws trials for one atom until one passes; false when the attempt's try budget runs out.
bool place_atom(ModelState& s, int atom, Kind kind, const Constraint* cons, int ncons, int& tries) {
  const int ntest = kind == Kind::ca ? 4 : 2;
  for (;;) {
    const Vec3 b = bkpos(s, atom);
    Vec3 p;
    p.x = b.x + (2.0f * rand(s) - 1.0f) * 0.1f;
    p.y = b.y + (2.0f * rand(s) - 1.0f) * 0.1f;
    p.z = b.z + (2.0f * rand(s) - 1.0f) * 0.1f;
    if (++tries > 250) return false;

    for (int k = 0; k < ncons; ++k) {
      const Vec3 q = partner_pos(s, atom, cons[k].partner);
      const float d2 = norm2(p - q);
      if (!wants_projection(d2, cons[k])) continue;
      if (kind == Kind::n) {
        if (d2 < 0.001f) continue;
      } else if (d2 < 0.0001f) {
        say(ffmt::ListWriter() << (kind == Kind::ca ? "CA dis warning!" : "CC dis warning!") << d2);
        if (d2 == 0.0f) continue;  // no direction to project along
      }
      const float f = std::sqrt(cons[k].t / d2);
      p.x = q.x + (p.x - q.x) * f;
      p.y = q.y + (p.y - q.y) * f;
      p.z = q.z + (p.z - q.z) * f;
    }

    bool ok = true;
    for (int k = 0; k < ntest && ok; ++k)
      ok = !outside_band(norm2(p - partner_pos(s, atom, cons[k].partner)), cons[k]);
    if (ok) {
      set_pos(s, atom, p);
      return true;
    }
  }
}

}  // namespace

int draw_int(ModelState& s, int k, int m) {
  return static_cast<int>(rand(s) * static_cast<float>(k)) % m;
}

void relax_lmprot(ModelState& s) {
  s.nmove(1, 1) += 1;
  s.lmfail = 1;
  if (s.nres < 3) return;  // no interior residue to relax

  const int len = draw_int(s, 141707, 5) + 1;
  // A window at residue 1 would need the residue before it; such windows start at residue 2.
  const int rs = std::max(2, draw_int(s, 7621, s.nres - 2) + 1);
  const int re = std::min(rs + len, s.nres - 1);
  if (re < rs) return;

  // Constraint sets of the window, N, CA, C per residue, with reference distances from xx0.
  struct AtomCons {
    int atom;
    Kind kind;
    Constraint c[5];
    int n;
  };
  AtomCons win[3 * 7];
  int nwin = 0;
  for (int r = rs; r <= re; ++r) {
    const Kind kinds[3] = {Kind::n, Kind::ca, Kind::c};
    const int atoms[3] = {s.ica(r) - 1, s.ica(r), s.ica(r) + 1};
    for (int k = 0; k < 3; ++k) {
      AtomCons& a = win[nwin++];
      a.atom = atoms[k];
      a.kind = kinds[k];
      a.n = constraints_of(s, r, kinds[k], a.c);
    }
  }

  for (int attempt = 1; attempt <= 3; ++attempt) {
    int tries = 0;
    int placed = 0;
    for (int k = 0; k < nwin; ++k) {
      if (!place_atom(s, win[k].atom, win[k].kind, win[k].c, win[k].n, tries)) break;
      ++placed;
    }
    if (placed == nwin) {
      s.lmfail = 0;
      return;
    }
  }
  add_ho(s);
}

void cacarot(ModelState& s) {
  s.nmove(2, 1) += 1;
  const int r0 = draw_int(s, 7621, s.nres) + 1;
  const int len = draw_int(s, 9533, 5) + 1;
  const int dir = draw_int(s, 62483, 2);
  const float angle = (2.0f * rand(s) - 1.0f) * 3.1415925f;

  if (std::fabs(angle) >= 0.001f) {
    const int a = dir == 0 ? std::max(1, r0 - len) : r0;
    const int b = dir == 0 ? r0 : std::min(s.nres, r0 + len);
    if (b > a) {
      const Vec3 pa = capos(s, a);
      const Vec3 d = pa - capos(s, b);
      if (std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z) < 0.01f) {
        say(ffmt::ListWriter() << "warning,cacarot no direction defined" << r0
                               << s.resd(s.ica(r0)).str() << dir << len << a << b
                               << s.resd(s.ica(a)).str());
      } else {
        float u = d.x, v = d.y, w = d.z;
        auto turn = [&](int i) {
          rotate_matrix2(s.xx(i), s.yy(i), s.zz(i), pa.x, pa.y, pa.z, u, v, w, angle);
        };
        turn(s.ica(a) + 1);
        for (int r = a + 1; r < b; ++r) {
          turn(s.ica(r) - 1);
          turn(s.ica(r));
          turn(s.ica(r) + 1);
        }
        turn(s.ica(b) - 1);
      }
    }
  }
  add_ho(s);
}

namespace {

// Adds f * v to the field vector of i and subtracts it from that of k, v = CA(i) - CA(k).
void pair_pull(ModelState& s, int i, int k, Vec3 v, float f) {
  s.bvv(i, 1) = s.bvv(i, 1) + f * v.x;
  s.bvv(i, 2) = s.bvv(i, 2) + f * v.y;
  s.bvv(i, 3) = s.bvv(i, 3) + f * v.z;
  s.bvv(k, 1) = s.bvv(k, 1) - f * v.x;
  s.bvv(k, 2) = s.bvv(k, 2) - f * v.y;
  s.bvv(k, 3) = s.bvv(k, 3) - f * v.z;
}

bool bond_formed(const ModelState& s, int donor, int acceptor) {
  for (int h = 1; h <= s.nhb; ++h)
    if (s.hbpair(h, 1) == donor && s.hbpair(h, 2) == acceptor) return true;
  return false;
}

// Displacement field: listed bonds not formed, secondary-structure windows, template pull.
void build_field(ModelState& s, float sq) {
  for (int r = 1; r <= s.nres; ++r) s.bvv.fill_row(r, 0.0f);

  for (int m = 1; m <= s.npredhb; ++m) {
    const int ra = s.ress(s.reshbn(m, 1)), rb = s.ress(s.reshbn(m, 2));
    if (bond_formed(s, s.reshbn(m, 1), s.reshbn(m, 2))) continue;
    float d0 = 5.5f, w = 0.8f;
    switch (s.reshbn(m, 3)) {
      case 1:
        if (std::abs(ra - rb) == 4) {
          d0 = 6.15f;
          w = 0.53f;
        } else {
          d0 = 5.25f;
          w = 0.6f;
        }
        break;
      case 2:
        d0 = 5.2f;
        w = 0.6f;
        break;
      case 3:
        d0 = 6.2f;
        w = 0.5f;
        break;
      default:
        break;
    }
    const Vec3 v = capos(s, ra) - capos(s, rb);
    const float d = norm(v);
    if (d >= 0.001f && std::fabs(d - d0) > w) {
      const float aim = d <= d0 ? d0 - 0.7f * w : d0 + 0.7f * w;
      pair_pull(s, ra, rb, v, -(d - aim) * sq / d);
    }
  }

  for (int r = 1; r <= s.nres; ++r) {
    if (s.sscode(r) == 1) continue;
    float lo2 = 4.85f, hi2 = 7.6f, lo3 = 4.45f, hi3 = 10.95f, k = 0.1f * sq;
    if (s.sscode(r) == 2) {
      lo2 = 5.0f, hi2 = 6.1f, lo3 = 4.5f, hi3 = 6.1f, k = 0.2f * sq;
    } else if (s.sscode(r) == 4) {
      lo2 = 5.8f, hi2 = 7.35f, lo3 = 6.5f, hi3 = 10.8f, k = 0.1f * sq;
    }
    // On short chains the mirrored partner may not exist either; it is then left out.
    const int p2 = r + 2 > s.nres ? r - 2 : r + 2;
    if (p2 >= 1) {
      const Vec3 v = capos(s, r) - capos(s, p2);
      const float d = norm(v);
      if (d < lo2 || d > hi2) {
        float f = 0.0f;
        if (d > 0.1f && d < lo2)
          f = (lo2 - d) / d * k;
        else if (d > hi2)
          f = (hi2 - d) / d * k;
        pair_pull(s, r, p2, v, f);
      }
    }
    const int p3 = r - 3 < 1 ? r + 3 : r - 3;
    if (p3 <= s.nres) {
      const Vec3 v = capos(s, r) - capos(s, p3);
      const float d = norm(v);
      if (d < lo2 || d > hi2) {
        float f = 0.0f;
        if (d > 0.1f && d < lo3)
          f = (lo3 - d) / d * k;
        else if (d > hi3)
          f = (hi3 - d) / d * k;
        s.bvv(r, 1) = s.bvv(r, 1) + 1.4f * f * v.x;
        s.bvv(r, 2) = s.bvv(r, 2) + 1.4f * f * v.y;
        s.bvv(r, 3) = s.bvv(r, 3) + 1.4f * f * v.z;
        s.bvv(p3, 1) = s.bvv(p3, 1) + -0.6f * f * v.x;
        s.bvv(p3, 2) = s.bvv(p3, 2) + -0.6f * f * v.y;
        s.bvv(p3, 3) = s.bvv(p3, 3) + -0.6f * f * v.z;
      }
    }
  }

  if (s.itempl != 0 && s.rmsd > 0.001f) {
    for (int r = 1; r <= s.nres; ++r) {
      if (s.tmplres(r) == 0) continue;  // the template has no position for this residue
      const Vec3 c = capos(s, r);
      const Vec3 t{s.bbkxx(r) - c.x, s.bbkyy(r) - c.y, s.bbkzz(r) - c.z};
      if (norm(t) < 0.01f) continue;
      s.bvv(r, 1) = s.bvv(r, 1) + t.x;
      s.bvv(r, 2) = s.bvv(r, 2) + t.y;
      s.bvv(r, 3) = s.bvv(r, 3) + t.z;
    }
  }
}

// Cycles in which the global move follows the field rather than random displacements.
bool field_driven(int icycle) {
  return icycle <= 19 || (icycle >= 41 && icycle <= 59) || icycle >= 71;
}

}  // namespace

void glo_move(ModelState& s, int flag) {
  s.nmove(3, 1) += 1;
  const float sq = s.gstep * s.gstep;
  if (flag < 1) build_field(s, sq);

  const float fn = static_cast<float>(s.nres);
  int r1 = static_cast<int>(rand(s) * fn - 10.0f);
  if (r1 < 1) r1 = 1;
  int r2 = static_cast<int>(rand(s) * fn / 2.0f) + r1 + 10;
  if (r2 > s.nres) r2 = s.nres;

  const bool field = field_driven(s.icycle);
  for (int r = r1; r <= r2; ++r) {
    const float u1 = rand(s), u2 = rand(s), u3 = rand(s);
    Vec3 d;
    if (field)
      d = {s.bvv(r, 1) * u1, s.bvv(r, 2) * u2, s.bvv(r, 3) * u3};
    else
      d = {2.0f * u1 - 1.0f, 2.0f * u2 - 1.0f, 2.0f * u3 - 1.0f};
    if (std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z) < 0.001f) continue;
    const float len = norm(d);
    if (len < 0.0001f) continue;
    const float g = len > sq ? 0.7f * sq + sq / len : 1.0f;
    move_ca(s, r, d, g);
  }

  calclash(s);
  if (s.nclash > 5 || s.nbreak > 1) {
    const int n = std::min(16, s.icycle / 4 + 1);
    for (int k = 1; k <= n; ++k) {
      const float fk = static_cast<float>(k);
      float step;
      if (k <= 6) {
        step = (s.gstep - 0.006f * fk) * 0.9f;
      } else if (k <= 12) {
        const float b = s.gstep - 0.006f * fk + 0.165f;
        step = b * b;
      } else {
        const float b = s.gstep - 0.002f * fk;
        step = b * b * b;
      }
      int nviol = 0;
      move_clash(s, step, nviol);
      if (nviol <= 9) break;
    }
  }
  bbadd(s, 1);
}

void move_clash(ModelState& s, float& step, int& nviol) {
  for (int r = 1; r <= s.nres; ++r) {
    s.bvv2.fill_row(r, 0.0f);
    s.nviolres(r) = 0;
  }
  nviol = 0;

  auto push = [&](int i, int j, Vec3 v, float f) {
    s.bvv2(i, 1) = s.bvv2(i, 1) + f * v.x;
    s.bvv2(i, 2) = s.bvv2(i, 2) + f * v.y;
    s.bvv2(i, 3) = s.bvv2(i, 3) + f * v.z;
    s.bvv2(j, 1) = s.bvv2(j, 1) - f * v.x;
    s.bvv2(j, 2) = s.bvv2(j, 2) - f * v.y;
    s.bvv2(j, 3) = s.bvv2(j, 3) - f * v.z;
    s.nviolres(i) += 1;
    s.nviolres(j) += 1;
    nviol += 1;
  };

  // The C-alpha trace in a flat buffer: the pair scan is the inner loop of every global move.
  std::vector<Vec3> ca(std::size_t(s.nres) + 1);
  for (int r = 1; r <= s.nres; ++r) ca[std::size_t(r)] = capos(s, r);
  // Non-adjacent pairs further apart than cacut along one axis are not near (0.001 covers the
  // rounding of the distance).
  near_pairs(ca, s.nres, s.cacut + 0.001f, [&](int i, int j, Vec3 v) {
    const bool next = j == i + 1;
    const float d = std::max(0.01f, norm(v));
    const float limit = next && s.ityp(i) == kPro && s.ityp(j) == kPro ? 2.8f : s.cacut;
    if (d < limit)
      push(i, j, v, (limit - d) * step / d);
    else if (next && d > s.cabond)
      push(i, j, v, (s.cabond - d) * step / d);
  });

  for (int r = 1; r <= s.nres; ++r) {
    if (s.nviolres(r) < 1) continue;
    Vec3 d{s.bvv2(r, 1), s.bvv2(r, 2), s.bvv2(r, 3)};
    if (s.nviolres(r) < 3) {
      d.x = d.x * rand(s);
      d.y = d.y * rand(s);
      d.z = d.z * rand(s);
    }
    const float len = norm(d);
    const float g = len > step ? step / len + step : 1.0f;
    move_ca(s, r, d, g);
  }
}

}  // namespace vorb
