#include "refine/schedule.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/torsions.hpp"
#include "builders/backbone.hpp"
#include "builders/hydrogens.hpp"
#include "builders/sd_opt.hpp"
#include "geometry/superpose.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/pdb_write.hpp"
#include "model/errors.hpp"
#include "refine/coord_sets.hpp"
#include "refine/energy.hpp"
#include "refine/montecarlo.hpp"
#include "restraints/hblist.hpp"

namespace vorb {
namespace {

constexpr int kMaxCycles = 180;

void say(const std::string& line) { message_stream() << line << '\n'; }

void save_accepted(ModelState& s) {
  copy_coords(s.xx, s.yy, s.zz, s.bkxx, s.bkyy, s.bkzz, s.natom);
}
void restore_accepted(ModelState& s) {
  copy_coords(s.bkxx, s.bkyy, s.bkzz, s.xx, s.yy, s.zz, s.natom);
}
void save_best(ModelState& s) { copy_coords(s.xx, s.yy, s.zz, s.sxx, s.syy, s.szz, s.natom); }

void refresh_bonds(ModelState& s) {
  imerge(s, 2);
  hbonds(s, 2);
}

float score_of(const ModelState& s) { return float(s.nhb + s.nhbmatch) - s.ecur; }

void better_line(const ModelState& s, const char* tag) {
  ffmt::RecordWriter w;
  w.a(tag, 10).f(s.rmsd, 8, 2).f(s.rmsdbest, 8, 2);
  w.i(s.nhbbest, 4).i(s.nmatchbest, 4).i(s.nhb, 4).i(s.nhbmatch, 4).i(s.icycle, 6);
  w.f(s.ecur, 12, 2).f(s.ebest, 12, 2);
  say(w.str());
}

// Marks of the listed bonds after a rebuild: frozen where formed, free where not; nhbmatch.
void recount_listed(ModelState& s) {
  s.nhbmatch = 0;
  for (int p = 1; p <= s.npredhb; ++p) {
    bool found = false;
    for (int h = 1; h <= s.nhb && !found; ++h)
      found = s.hbpair(h, 1) == s.reshbn(p, 1) && s.hbpair(h, 2) == s.reshbn(p, 2);
    if (found) s.nhbmatch += 1;
    const int mark = found ? 2 : 0;
    const int rd = s.ress(s.reshbn(p, 1));
    if (rd > 1) s.resfix(rd - 1) = mark;
    s.resfix(s.ress(s.reshbn(p, 2))) = mark;
  }
}

struct Schedule {
  ModelState& s;
  float scorebest = 0.0f;

  void setup();
  void rebuild_without_list(int nsub);
  void rebuild_with_list(int nsub);
  void finish();
};

void Schedule::setup() {
  hadd(s);
  imerge(s, 1);
  hbonds(s, 2);
  angle(s);
  ass2nd(s);

  s.icont = 0;
  s.hblok = 0;
  restr_stru(s);
  say((ffmt::ListWriter() << "HBlist" << s.npredhb).logical(s.hblok == 1).str());
  if (s.hblok != 1) {
    s.whbm = 0.0f;
    s.resfix.fill(0);
    say((ffmt::ListWriter() << "Warning,no predicted Hbond list availuable" << s.npredhb).str());
    s.npredhb = 0;
  }

  float bound = 0.0f;
  if (s.itempl == 0) {
    for (int r = 1; r <= s.nres; ++r) {
      const int c = s.ica(r);
      s.bbkxx(r) = s.xx(c);
      s.bbkyy(r) = s.yy(c);
      s.bbkzz(r) = s.zz(c);
    }
  } else {
    bound = superpose_template(s);
  }
  if (bound < 3.0f) bound = 3.0f;
  s.rmsdbest = bound - 0.2f;

  s.wrmsd = s.itempl == 0 ? 0.0f : s.mode_is("4") ? 200000.0f : 70.0f;
  s.wrest = 100.0f;
  s.gstep = 0.7f;
  s.pushf = 1.0f;
  s.cacut = 3.65f;
  s.cabond = 4.05f;

  s.nhbbest = s.nhb;
  save_accepted(s);
  hbrotate(s, 2);
  refresh_bonds(s);
  if (s.nhb < s.nhbbest) {
    restore_accepted(s);
    refresh_bonds(s);
  } else {
    s.nhbbest = s.nhb;
    save_accepted(s);
  }

  s.nmatchbest = s.nhbmatch;
  energy_cal(s);
  s.ecur = s.ebest = s.etot;
  save_best(s);
  scorebest = float(s.nhb + s.nhbmatch) - s.etot;

  if (s.itempl != 0) {
    for (int r = 1; r <= s.nres; ++r) {
      s.dca2start(r) = s.dca2(r);
      // Residues the template lacks are not on it and stay free.
      s.resfix(r) = s.dca2(r) < 0.01f && s.tmplres(r) != 0 ? 2 : 0;
    }
  }

  ffmt::RecordWriter w;
  w.a("initd", 6).f(s.rmsd, 8, 4).i(s.icycle, 4).i(s.npredhb, 4).i(s.nhb, 4).i(s.nhbmatch, 4);
  w.i(s.nclash, 4).i(s.nbreak, 4).f(s.ecur, 12, 2).f(s.erest, 12, 2);
  w.a(s.mode_is("2") ? std::string() : s.ssclass, 5);
  say(w.str());
}

void Schedule::rebuild_without_list(int nsub) {
  for (int k = 0; k < nsub; ++k) {
    bbadd(s, 2);
    refresh_bonds(s);
    if (s.nhb < s.nhbbest) {
      restore_accepted(s);
      continue;
    }
    s.nhbbest = s.nhb;
    s.ebest = s.ecur;
    save_accepted(s);
    for (int h = 1; h <= s.nhb; ++h) {
      s.resfix(s.ress(s.hbpair(h, 1))) = 2;
      s.resfix(s.ress(s.hbpair(h, 2))) = 2;
    }
    if (score_of(s) > scorebest) {
      better_line(s, "betterHB0");
      scorebest = score_of(s);
      save_best(s);
    }
  }
}

void Schedule::rebuild_with_list(int nsub) {
  if (s.icycle > 0) {
    hbrotate(s, 2);
    refresh_bonds(s);
    const float now = float(s.nhbmatch) * s.whbm + float(s.nhb) - s.ecur;
    const float old = float(s.nmatchbest) * s.whbm + float(s.nhbbest) - s.ebest;
    if (now <= old) {
      restore_accepted(s);
    } else {
      s.nmatchbest = s.nhbmatch;
      s.nhbbest = s.nhb;
      s.ebest = s.ecur;
      save_accepted(s);
      if (score_of(s) > scorebest) {
        scorebest = score_of(s);
        save_best(s);
      }
    }
  }
  for (int k = 0; k < nsub; ++k) {
    bbadd(s, 2);
    refresh_bonds(s);
    if (!s.mode_is("4")) recount_listed(s);
    if (s.nhb < s.nhbbest) {
      restore_accepted(s);
      continue;
    }
    s.nmatchbest = s.nhbmatch;
    s.nhbbest = s.nhb;
    s.ebest = s.ecur;
    save_accepted(s);
    if (score_of(s) > scorebest) {
      better_line(s, "betterHB");
      scorebest = score_of(s);
      save_best(s);
    }
  }
}

void Schedule::finish() {
  copy_coords(s.sxx, s.syy, s.szz, s.xx, s.yy, s.zz, s.natom);
  sd_opt(s);
  write_model(s, s.pdbfile + ".h", true);
  ffmt::RecordWriter w;
  const char* names[3] = {"Lmpr", "CaCa", "Glob"};
  for (int t = 1; t <= 3; ++t) {
    w.a(names[t - 1], 5);
    for (int c = 1; c <= 3; ++c) w.i(s.nmove(t, c), 8);
  }
  say(w.str());
}

}  // namespace

int nsub_for_cycle(int icycle, bool mode2) {
  if (mode2) return 180;
  return std::clamp(icycle / 10, 5, 20);
}

void rebuild_rounds(ModelState& s, int nsub, float& scorebest) {
  Schedule sch{s, scorebest};
  if (s.npredhb < 1)
    sch.rebuild_without_list(nsub);
  else
    sch.rebuild_with_list(nsub);
  scorebest = sch.scorebest;
}

float superpose_template(ModelState& s) {
  const int n = s.nres;
  std::vector<double> w(std::size_t(n), 0.0), x(3 * std::size_t(n)), y(3 * std::size_t(n));
  int nused = 0;
  for (int r = 1; r <= n; ++r) {
    const std::size_t m = std::size_t(r - 1);
    const int c = s.ica(r);
    x[3 * m] = s.bbkxx(r);
    x[3 * m + 1] = s.bbkyy(r);
    x[3 * m + 2] = s.bbkzz(r);
    y[3 * m] = s.xx(c);
    y[3 * m + 1] = s.yy(c);
    y[3 * m + 2] = s.zz(c);
    if (s.tmplres(r) != 0) {
      w[m] = 1.0;
      ++nused;
    }
  }
  double rms = 0.0, u[9], t[3];
  int ier = 0;
  u3b(w.data(), x.data(), y.data(), n, 1, rms, u, t, ier);
  for (int r = 1; r <= n; ++r) {
    const std::size_t m = std::size_t(r - 1);
    const double p[3] = {x[3 * m], x[3 * m + 1], x[3 * m + 2]};
    double q[3];
    for (int i = 0; i < 3; ++i) q[i] = u[i] * p[0] + u[i + 3] * p[1] + u[i + 6] * p[2] + t[i];
    s.bbkxx(r) = float(q[0]);
    s.bbkyy(r) = float(q[1]);
    s.bbkzz(r) = float(q[2]);
  }
  if (nused == 0) return 0.0f;
  return float(double(1.1f) * std::sqrt(rms / double(nused)));
}

void first_cycle_output(ModelState& s, bool mode2) {
  sd_opt(s);
  write_model(s, s.pdbfile + (mode2 ? ".h" : ".fix"), false);
  if (!mode2) hadd(s);
}

void refinement_schedule(ModelState& s) {
  if (s.nres < 3)
    throw InputError(
        s.pdbfile, 0,
        "refinement needs a chain of at least 3 residues, found " + std::to_string(s.nres));
  Schedule sch{s};
  sch.setup();
  const bool mode2 = s.mode_is("2");
  for (;;) {
    rebuild_rounds(s, nsub_for_cycle(s.icycle, mode2), sch.scorebest);
    s.ecur = s.ebest;

    if (s.icycle == 0) {
      first_cycle_output(s, mode2);
      if (mode2) return;
    }

    s.icycle += 1;
    if (s.icycle > 100 && s.rmsdbest < 0.01f) break;
    s.gstep = std::max(0.5f, s.gstep - 0.002f);
    s.cacut = std::min(3.7f, s.cacut + 0.002f);
    s.cabond = std::max(3.9f, s.cabond - 0.002f);
    hbrotate(s, 1);
    if (s.icycle >= kMaxCycles) break;
  }
  sch.finish();
}

}  // namespace vorb
