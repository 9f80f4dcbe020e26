#include "analysis/lattice.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/lattice_shift.hpp"
#include "geometry/near_pairs.hpp"
#include "geometry/vec3.hpp"
#include "model/coords.hpp"

namespace vorb {
namespace {

// Empties the lattice. A cell is non-zero only if it received a head since nocc was last reset,
// and every such cell is listed in nzr rows 1..nocc, so clearing those cells empties `site`
// without touching the rest of the 360^3 table. nocc is reset only when it exceeds 10; below
// that the recorded rows are kept and the next fill appends to them.
void clear_lattice(ModelState& s) {
  for (int r = 1; r <= s.nocc; ++r) s.site(s.nzr(r, 1), s.nzr(r, 2), s.nzr(r, 3)) = 0;
  for (int i = 1; i <= s.natom; ++i) s.sitt.fill_row(i, 0);
  if (s.nocc > 10) s.nocc = 0;
}

// Whether atom j is listed in row i of sitt. Rows are cleared whole and filled from the left
// (free_slot), so the first free slot ends the list.
bool listed(const ModelState& s, int i, int j) {
  const int* row = s.sitt.row(i);
  for (int c = 1; c <= kSittCols && row[c - 1] >= 1; ++c)
    if (row[c - 1] == j) return true;
  return false;
}

int free_slot(const ModelState& s, int i) {
  const int* row = s.sitt.row(i);
  for (int c = 1; c <= kSittCols; ++c)
    if (row[c - 1] < 1) return c;
  return 0;
}

void fill_lattice(ModelState& s) {
  const float hi = 2.0f * float(s.nlat);
  for (int i = 1; i <= s.natom; ++i) {
    const float x = s.xx(i), y = s.yy(i), z = s.zz(i);
    if (!(x >= 1.0f && x <= hi && y >= 1.0f && y <= hi && z >= 1.0f && z <= hi)) continue;
    const int cx = lattice_cell(x);
    const int cy = lattice_cell(y);
    const int cz = lattice_cell(z);
    int& head = s.site(cx, cy, cz);
    const int j = head;
    if (j < 1 || j > s.natom) {
      head = i;
      ++s.nocc;
      s.nzr(s.nocc, 1) = cx;
      s.nzr(s.nocc, 2) = cy;
      s.nzr(s.nocc, 3) = cz;
      continue;
    }
    if (listed(s, i, j) || listed(s, j, i)) continue;
    // A full row leaves the atom out of the cell: at most 11 atoms per cell are visible.
    const int ci = free_slot(s, i);
    if (ci == 0) continue;
    s.sitt(i, ci) = j;
    const int cj = free_slot(s, j);
    if (cj != 0) s.sitt(j, cj) = i;
  }
}

}  // namespace

void imerge(ModelState& s, int flag) {
  clear_lattice(s);
  if (flag == 0 || flag == 1) {
    lattice_frame_shift(s);
    if (flag == 0) return;
  }
  fill_lattice(s);
}

void calclash(ModelState& s) {
  const bool m5 = s.mode_is("5");
  const float cut = m5 ? 3.6f : 3.75f;
  const float brk = m5 ? 4.1f : 3.9f;
  s.nclash = 0;
  s.nbreak = 0;
  s.eclash = 0.0f;
  // The C-alpha trace in a flat buffer: this pair scan runs in every energy evaluation.
  std::vector<Vec3> ca(std::size_t(std::max(s.nres, 0)) + 1);
  for (int r = 1; r <= s.nres; ++r) ca[std::size_t(r)] = pos(s, s.ica(r));
  // Non-adjacent pairs further apart than cut along one axis cannot clash (0.001 covers the
  // rounding of the distance).
  near_pairs(ca, s.nres, cut + 0.001f, [&](int i, int j, Vec3 v) {
    const float d = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (d < cut) {
      ++s.nclash;
      s.eclash += (d - cut) * (d - cut) + 0.5f;
    } else if (j == i + 1 && d > brk) {
      ++s.nbreak;
      s.eclash += (d - brk) * (d - brk) + 0.5f;
    }
  });
}

}  // namespace vorb
