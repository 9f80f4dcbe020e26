#include "driver/analysis_run.hpp"

#include <cmath>
#include <iostream>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/torsions.hpp"
#include "builders/hydrogens.hpp"
#include "builders/sidechain.hpp"
#include "driver/restraint_run.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"

namespace vorb {
namespace {

float ca_distance(const ModelState& s, int r1, int r2) {
  const int a = s.ica(r1), b = s.ica(r2);
  const float dx = s.xx(a) - s.xx(b), dy = s.yy(a) - s.yy(b), dz = s.zz(a) - s.zz(b);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// "(A16,I6,A8,I5,A4,f12.3)": clashes and breaks at the mode-"5" thresholds, radius of gyration.
void ca_report(ModelState& s) {
  angle(s);
  calclash(s);
  float cx = 0.0f, cy = 0.0f, cz = 0.0f;
  for (int r = 1; r <= s.nres; ++r) {
    cx += s.xx(s.ica(r));
    cy += s.yy(s.ica(r));
    cz += s.zz(s.ica(r));
  }
  const float n = float(s.nres);
  cx /= n;
  cy /= n;
  cz /= n;
  float sum = 0.0f;
  for (int r = 1; r <= s.nres; ++r) {
    const float dx = s.xx(s.ica(r)) - cx, dy = s.yy(s.ica(r)) - cy, dz = s.zz(s.ica(r)) - cz;
    sum += dx * dx + dy * dy + dz * dz;
  }
  const float rg = std::sqrt(sum / n);
  ffmt::RecordWriter w;
  w.a("CACLASH(<3.6A):", 16).i(s.nclash, 6).a(" BROKEN", 8).i(s.nbreak, 5).a(" Rg", 4);
  w.f(rg, 12, 3);
  message_stream() << w.str() << '\n';
}

}  // namespace

std::string hbond_listing_line(const ModelState& s, int h) {
  // "(I4,I4,A4,A5,I4,A4,A5,1x,A1,A1,1x,F6.3,F7.3,2F8.3,F10.3)"
  const int dn = s.hbpair(h, 1), ac = s.hbpair(h, 2);
  const int d = s.ress(dn), a = s.ress(ac);
  ffmt::RecordWriter w;
  w.i(h, 4).i(d, 4).a(s.resd(s.ica(d)).str(), 4).a(s.atomty(dn).str(), 5);
  w.i(a, 4).a(s.resd(s.ica(a)).str(), 4).a(s.atomty(ac).str(), 5).x(1);
  w.a(s.atomty(dn) == " N  " ? "B" : "S", 1).a(s.atomty(ac) == " O  " ? "B" : "S", 1).x(1);
  w.f(ca_distance(s, d, a), 6, 3).f(s.htbon(h, 1), 7, 3).f(s.htbon(h, 2), 8, 3);
  w.f(s.htbon(h, 3), 8, 3).f(s.htbon(h, 4), 10, 3);
  return w.str();
}

void print_hbond_listing(const ModelState& s) {
  message_stream() << (ffmt::ListWriter()
                << "#No.      donor     acceptor  || Ca-CAdis  R_HA   <DHA   <HAAb  Ehbnd")
                   .str()
            << '\n';
  for (int h = 1; h <= s.nhb; ++h) message_stream() << hbond_listing_line(s, h) << '\n';
  ffmt::RecordWriter w;
  w.a("number of Hbonds(EHB)", 22).i(s.nhb, 6).f(s.ehb, 11, 4);
  message_stream() << w.str() << '\n';
}

void torsion_run(ModelState& s) {
  angle(s);
  if (s.mode_is("8")) ass2nd(s);
}

void hbond_analysis_run(ModelState& s) {
  heavy_add(s);
  hadd(s);
  imerge(s, 1);
  const bool listing = s.mode_is("5");
  if (listing) ca_report(s);
  hbonds(s, 1);
  if (listing) {
    print_hbond_listing(s);
  } else if (s.mode_is("6") || s.mode_is("66")) {
    restraint_run(s);
  }
  // Any other mode text ends here without output.
}

}  // namespace vorb
