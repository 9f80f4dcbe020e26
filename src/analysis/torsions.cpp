#include "analysis/torsions.hpp"

#include "geometry/torsion.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

constexpr float kRad = 0.0174533f;  // degrees to radians

void write_chi1(const ModelState& s) {
  // "(I5,A5,4f9.4)": residue, its name, chi1, chi2, phi, psi in radians.
  OutputFile out("chi1");
  for (int r = 1; r <= s.nres; ++r) {
    ffmt::RecordWriter w;
    w.i(r, 5).a(s.resd(s.ica(r)).str(), 5);
    w.f(s.phipsichi(r, 3), 9, 4).f(s.phipsichi(r, 4), 9, 4);
    w.f(s.phipsichi(r, 1), 9, 4).f(s.phipsichi(r, 2), 9, 4);
    out.line(w.str());
  }
  out.commit();
}

void write_seq0(const ModelState& s) {
  // "(I5,3x,A3,1x,I4,1x,I4)": residue, its name, code, and the constant 9.
  OutputFile out("seq0.dat");
  for (int r = 1; r <= s.nres; ++r) {
    ffmt::RecordWriter w;
    w.i(r, 5).x(3).a(s.resd(s.ica(r)).str(), 3).x(1).i(s.seq2(r, 1), 4).x(1).i(9, 4);
    out.line(w.str());
  }
  out.commit();
}

// Code of residue r, with positions before residue 1 reading as no code at all.
int code_at(const ModelState& s, int r) { return r >= 1 ? s.seq2(r, 1) : 0; }

}  // namespace

void angle(ModelState& s) {
  for (int r = 1; r <= s.nres; ++r) {
    const int k = s.ica(r);
    if (r > 1) s.phipsichi(r, 1) = torsion_angle(s, s.ica(r - 1) + 1, k - 1, k, k + 1);
    if (r < s.nres) s.phipsichi(r, 2) = torsion_angle(s, k - 1, k, k + 1, s.ica(r + 1) - 1);
    if (k + 5 <= kMaxAtoms && !(s.xx(k + 4) > kMissingTest) && s.ityp(r) > kAla) {
      s.phipsichi(r, 3) = torsion_angle(s, k - 1, k, k + 3, k + 4);
      if (s.ityp(r) > kThr) s.phipsichi(r, 4) = torsion_angle(s, k, k + 3, k + 4, k + 5);
    }
  }
  if (s.mode_is("5") || s.mode_is("7") || s.mode_is("8")) write_chi1(s);
}

void ass2nd(ModelState& s) {
  for (int r = 1; r <= kMaxRes; ++r) s.seq2.fill_row(r, 1);
  const int n = s.nres;

  for (int r = 2; r <= n - 1; ++r) {
    const float phi = s.phipsichi(r, 1), psi = s.phipsichi(r, 2);
    const int cell = rama_cell(phi / kRad, psi / kRad);
    const float h = s.ramah(cell), e = s.ramae(cell);
    const bool helical = (-2.44346f < phi && phi < -0.7853982f && -1.0471976f < psi &&
                          psi < 1.0471976f) ||
                         (0.7853982f < phi && phi < 1.5707964f && 0.0f < psi && psi < 1.0471976f);
    const bool extended = -3.1415925f < phi && phi < -0.7853982f &&
                          ((1.48353f < psi && psi < 3.1415925f) ||
                           (-3.1415925f < psi && psi < -2.9067f));
    if (helical && h > 0.005f && h >= e)
      s.seq2(r, 1) = 2;
    else if (extended && e > 0.005f && h <= e)
      s.seq2(r, 1) = 4;
  }

  // An isolated state becomes coil.
  for (int r = 2; r <= n - 2; ++r) {
    const int c = s.seq2(r, 1);
    if (c != code_at(s, r - 2) && c != s.seq2(r - 1, 1) && c != s.seq2(r + 1, 1) &&
        c != s.seq2(r + 2, 1))
      s.seq2(r, 1) = 1;
  }

  // A single-residue gap between equal states is filled, except at a proline.
  for (int r = 2; r <= n - 1; ++r) {
    const int before = s.seq2(r - 1, 1), after = s.seq2(r + 1, 1);
    if (before == after && before != s.seq2(r, 1) && s.ityp(r) != kPro) s.seq2(r, 1) = before;
  }

  if (n >= 1) s.seq2(1, 1) = s.seq2(2, 1);
  if (n >= 2) s.seq2(n, 1) = s.seq2(n - 1, 1);

  if (s.mode_is("8")) write_seq0(s);
}

}  // namespace vorb
