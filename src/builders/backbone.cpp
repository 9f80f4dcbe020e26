#include "builders/backbone.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "builders/bb_key.hpp"
#include "geometry/gaussj.hpp"
#include "geometry/random.hpp"
#include "model/capacity.hpp"
#include "model/coords.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

enum class Cls { coil, helix, strand };

// The class of a residue from its sscode: 2 helix, 4 strand, anything else (also the 0 of a
// residue seq.dat did not cover) coil.
Cls residue_class(int sscode) {
  return sscode == 2 ? Cls::helix : sscode == 4 ? Cls::strand : Cls::coil;
}

const BBTable& primary(const ModelState& s, Cls c) {
  const BBLibrary& l = s.lib();
  return c == Cls::coil ? l.bbdatc : c == Cls::helix ? l.bbdata : l.bbdatb;
}

struct Bins {
  int b1, b2, b3, b4, b5;
};

int cell(const BBTable& t, const Bins& b, int type, int slot) {
  return t(b.b1, b.b2, b.b3, b.b4, b.b5, type, slot);
}

// The widened searches take a proline fragment only for a proline and a non-proline fragment
// only for a non-proline.
bool type_allowed(int type, int t) { return (type != kPro && t != kPro) || t == type; }

// Nearest integer, halves away from zero.
int nint(float v) { return int(std::round(v)); }

// Shifts a bin by d, reflecting once when it leaves 0..cap.
int shift(int b, int d, int cap) {
  int v = b + d;
  if (v < 0 || v > cap) v -= 2 * d;
  return v;
}

// Lookup of step 7: the class's table order at slot 1, then the residue's own table for the
// types 20..tmin, then one bin around the key. The widened search moves the bins.
int lookup(const ModelState& s, Cls c, Bins& b, int type, int tmin) {
  const BBTable* order[3] = {nullptr, nullptr, nullptr};
  const BBLibrary& l = s.lib();
  switch (c) {
    case Cls::coil:
      order[0] = &l.bbdatc, order[1] = &l.bbdatb, order[2] = &l.bbdata;
      break;
    case Cls::helix:
      order[0] = &l.bbdata, order[1] = &l.bbdatc;
      break;
    case Cls::strand:
      order[0] = &l.bbdatb, order[1] = &l.bbdatc;
      break;
  }
  for (const BBTable* t : order)
    if (t)
      if (int f = cell(*t, b, type, 1)) return f;

  const BBTable& p = primary(s, c);
  if (type != kPro && p.any(b.b1, b.b2, b.b3, b.b4, b.b5))
    for (int t = 20; t >= tmin; --t)
      if (int f = cell(p, b, t, 1)) return f;

  for (int b1 = std::max(b.b1 - 1, 0); b1 <= std::min(b.b1 + 1, BBTable::kB1); ++b1)
    for (int b2 = std::max(b.b2 - 1, 0); b2 <= std::min(b.b2 + 1, BBTable::kB2); ++b2)
      for (int b3 = std::max(b.b3 - 1, 0); b3 <= std::min(b.b3 + 1, BBTable::kB3); ++b3)
        for (int b4 = std::max(b.b4 - 1, 0); b4 <= std::min(b.b4 + 1, BBTable::kB4); ++b4)
          for (int b5 = std::max(b.b5 - 1, 0); b5 <= std::min(b.b5 + 1, BBTable::kB5); ++b5) {
            if (!p.any(b1, b2, b3, b4, b5)) continue;
            for (int t = tmin; t <= 20; ++t) {
              if (!type_allowed(type, t)) continue;
              if (int f = p(b1, b2, b3, b4, b5, t, 1)) {
                b = {b1, b2, b3, b4, b5};
                return f;
              }
            }
          }
  return 0;
}

// Random re-choice of mode 2 (step 8), starting from the lookup's f and bins.
int rechoose(ModelState& s, int i, Cls c, Bins b, int type, int tmin, int f) {
  const BBTable& p = primary(s, c);
  const int cur = s.ifrag(i);
  if (f > 0) {
    float r = rand(s);
    int slot = int(r * 998631.0f) % 10 + 1;
    if (cell(p, b, type, 1) != 0) {
      f = cell(p, b, type, slot);
      if (f != cur) return f;
    }
  }

  const Bins saved = b;
  int d[5];
  d[0] = nint((2.0f * rand(s) - 1.0f) * 3.0f);
  for (int k = 1; k < 5; ++k) d[k] = nint(2.0f * (2.0f * rand(s) - 1.0f));
  b.b1 = shift(b.b1, d[0], BBTable::kB1);
  b.b2 = shift(b.b2, d[1], BBTable::kB2);
  b.b3 = shift(b.b3, d[2], BBTable::kB3);
  if (s.sscode(i) == 4) {
    // A strand residue never moves to shorter C-alpha distances.
    b.b1 = std::max(b.b1, saved.b1);
    b.b2 = std::max(b.b2, saved.b2);
    b.b3 = std::max(b.b3, saved.b3);
  }
  b.b4 = shift(b.b4, d[3], BBTable::kB4);
  b.b5 = shift(b.b5, d[4], BBTable::kB5);

  if (p.any(b.b1, b.b2, b.b3, b.b4, b.b5))
    for (int t = tmin; t <= 20; ++t) {
      if (!type_allowed(type, t)) continue;
      if (int v = cell(p, b, t, 1)) {
        f = v;
        if (f != cur) return f;
      }
    }

  int lo = 1, hi = s.nbbc;
  if (c == Cls::helix) lo = s.nbbc + 1, hi = s.nbbc + s.nbbh;
  if (c == Cls::strand) lo = s.nbbc + s.nbbh + 1, hi = s.nbb;
  int dd = int((2.0f * rand(s) - 1.0f) * 1970.0f);
  f += dd;
  if (f < lo || f > hi) f -= 2 * dd;  // once; the range may still be left
  return f;
}

// Step 9: a random fragment of the class.
int random_fragment(ModelState& s, Cls c) {
  float r = rand(s);
  switch (c) {
    case Cls::coil:
      return int(r * float(s.nbbc)) + 1;
    case Cls::helix:
      return int(r * float(s.nbbh)) + s.nbbc + 1;
    case Cls::strand:
      break;
  }
  return int(r * float(s.nbbe)) + s.nbbc + s.nbbh + 1;
}

// Places one atom from a stored offset q in the frame (a, b, c) around P1: N(i+1) with the
// band lo..hi = 2.1..2.7 and target 1.45, C(i) with 1.3..1.7 and 1.49. A zero offset leaves the
// atom; a singular solve (x = 0) puts it on the line P1-P2 at fraction line.
void place(ModelState& s, int atom, const BBKey& k, Vec3 p1, Vec3 p2, Vec3 q, float lo, float hi,
           float target, float line) {
  if (std::fabs(q.x) + std::fabs(q.y) + std::fabs(q.z) <= 0.001f) return;
  // Rows a, b, c; storage column by column.
  float m[9] = {k.a.x, k.b.x, k.c.x, k.a.y, k.b.y, k.c.y, k.a.z, k.b.z, k.c.z};
  float rhs[3] = {q.x, q.y, q.z};
  gaussj(m, rhs);
  Vec3 x{rhs[0], rhs[1], rhs[2]};
  float d = norm(x);
  float sc;
  if (d > hi || (d > 0.01f && d < lo)) {
    sc = target / d;
  } else if (d >= 0.01f) {
    sc = 1.0f;
  } else {
    sc = line;
    x = p2 - p1;
  }
  set_pos(s, atom, p1 + sc * x);
}

Vec3 frag(const ModelState& s, int f, int col) {
  // Rows beyond nbb (the range of step 8.4 is not enforced) hold zeros.
  if (f < 1 || f > s.nbb) return {};
  const BBLibrary& l = s.lib();
  return {l.bbcoord(f, col), l.bbcoord(f, col + 1), l.bbcoord(f, col + 2)};
}

}  // namespace

void check_chain_length(const ModelState& s) {
  if (s.nres < 3)
    throw InputError("backbone completion needs at least three residues, the chain has " +
                     std::to_string(s.nres));
}

void check_residue_types(const ModelState& s) {
  for (int r = 1; r <= s.nres; ++r)
    if (s.ityp(r) < 1 || s.ityp(r) > 20)
      throw InputError("residue " + std::to_string(r) +
                       " is none of the twenty standard types; its backbone cannot be built");
}

void bbadd(ModelState& s, int mode) {
  if (mode == 3) return;
  if (mode < 0 || mode > 3) throw std::invalid_argument("bbadd: mode " + std::to_string(mode));
  check_chain_length(s);
  check_residue_types(s);

  const int n = s.nres;
  const int va = s.natom + 2, vb = s.natom + 3;  // N(nres+1) goes to natom + 1
  const Vec3 ca1 = pos(s, 2);
  set_pos(s, 0, 2.0f * ca1 - pos(s, s.ica(2)));
  const Vec3 can = pos(s, s.ica(n));
  set_pos(s, va, 2.0f * can - pos(s, s.ica(n - 1)));
  set_pos(s, vb, 2.0f * can - pos(s, s.ica(n - 2)));

  for (int i = 1; i <= n; ++i) {
    if (mode == 2 && s.resfix(i) >= 2) continue;
    const int i0 = i == 1 ? 0 : s.ica(i - 1);
    const int i1 = s.ica(i);
    const int i2 = i == n ? va : s.ica(i + 1);
    const int i3 = i == n ? vb : i == n - 1 ? va : s.ica(i + 2);
    const int atom_c = i1 + 1, atom_n = i2 - 1;
    if (mode == 0 && !(s.xx(atom_c) >= 990.0f || s.xx(atom_n) >= 999.0f)) continue;

    const Cls c = residue_class(s.sscode(i));
    const int type = s.ityp(i);
    const int tmin = std::min(type, 2);
    const Vec3 p1 = pos(s, i1), p2 = pos(s, i2);
    const BBKey key = bb_key(pos(s, i0), p1, p2, pos(s, i3));

    int f = 0;
    if (key.ok) {
      Bins b{key.b1, key.b2, key.b3, key.b4, key.b5};
      f = lookup(s, c, b, type, tmin);
      if (mode == 2) f = rechoose(s, i, c, b, type, tmin, f);
    }
    if (f < 1) f = random_fragment(s, c);
    f = std::min(f, kMaxBB);
    s.ifrag(i) = f;

    // Without a frame (coincident or parallel C-alpha vectors) the stored offsets have no
    // meaning: the fragment is chosen as usual, but C and N are left where they are. Except
    // when mode 0 completes a model: an atom not placed yet goes on the line P1-P2 as for a
    // singular solve (C at one third, N at two thirds). Left at the missing marker, O and H
    // would be derived from it and the model would hold atoms near 999 A (a straight run of
    // C-alpha atoms, as the mode-31 builder fills a gap whose flanks are far apart).
    if (!key.ok) {
      if (mode == 0 && s.xx(atom_n) >= 990.0f) set_pos(s, atom_n, p1 + 0.67f * (p2 - p1));
      if (mode == 0 && s.xx(atom_c) >= 990.0f) set_pos(s, atom_c, p1 + 0.33f * (p2 - p1));
      continue;
    }
    place(s, atom_n, key, p1, p2, frag(s, f, 1), 2.1f, 2.7f, 1.45f, 0.67f);
    place(s, atom_c, key, p1, p2, frag(s, f, 4), 1.3f, 1.7f, 1.49f, 0.33f);
  }
  add_ho(s);
}

void add_ho(ModelState& s) {
  const int n = s.nres;
  for (int i = 1; i <= n; ++i) {
    const int ca = s.ica(i);
    const int type = s.ityp(i);
    const Vec3 pca = pos(s, ca);
    const Vec3 pc = pos(s, ca + 1);
    if (i < n) {
      Vec3 m = (pca + pos(s, s.ica(i + 1) - 1)) / 2.0f;
      Vec3 v = pc - m;
      float d = norm(v);
      if (d > 0.01f) set_pos(s, ca + 2, pc + (1.23f * v) / d);
    } else {
      Vec3 v = pca - pos(s, s.ica(n - 1) + 2);
      float d = norm(v);
      if (d > 0.01f) {
        set_pos(s, ca + 2, pc + (1.23f * v) / d);
        v = pc - 0.55f * pca - 0.45f * pos(s, ca + 2);
        d = norm(v);
      }
      if (d > 0.01f) set_pos(s, ca + hra[std::size_t(type)] - 1, pc + (1.23f * v) / d);
    }
    if (type != kPro && i > 1) {
      const int h = ca + hra[std::size_t(type)] - (i == n ? 0 : 1);
      const Vec3 pn = pos(s, ca - 1);
      Vec3 v = pn - (pos(s, s.ica(i - 1) + 1) + pca) / 2.0f;
      float d = std::max(norm(v), 0.001f);
      set_pos(s, h, pn + v / d);
    }
  }
  set_pos(s, 1, pos(s, 2) + (pos(s, s.ica(2) - 1) - pos(s, s.ica(2))));
}

}  // namespace vorb
