// Weighted least-squares superposition (double precision) and the C-alpha deviation.
#pragma once

#include "model/model_state.hpp"

namespace vorb {

// Superposition of the points x onto y: w(n) weights; x, y 3 x n column per point
// (x[3 m + k] is coordinate k of point m, 0-based); mode 0 residual only, else also u, t.
// rms: minimal weighted sum of squared deviations; u: rotation stored column by column
// (u(i, j) at u[(i-1) + 3 (j-1)]); t: translation; ier 0 unique, -1 not unique, -2 bad weights.
void u3b(const double* w, const double* x, const double* y, int n, int mode, double& rms,
         double u[9], double t[3], int& ier);

// dca2 of every residue and rmsd against the reference trace bbkxx..bbkzz. With a template in
// use (itempl = 1), residues the template did not supply (tmplres = 0) get dca2 = 0 and stay
// out of rmsd, which is taken over the template's residues.
void carmsd(ModelState& s);

}  // namespace vorb
