#include "refine/energy.hpp"

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "geometry/superpose.hpp"
#include "restraints/rest_energy.hpp"

namespace vorb {

void energy_sum(ModelState& s) {
  float hbterm = float(s.nhbmatch) * s.whbm + float(s.nhb);
  if (s.irest == 0) {
    s.etot = (s.rmsd * s.wrmsd + s.eclash * s.wclash) - hbterm;
    return;
  }
  s.erest = s.wrest * (s.edistl * s.wdistl + s.wcomb * s.ecomb + s.edist * s.wdist);
  s.etot = (s.rmsd * s.wrmsd + s.erest * s.wclash + s.eclash * s.wclash) - hbterm;
}

void energy_cal(ModelState& s) {
  imerge(s, 2);
  hbonds(s, 2);
  calclash(s);
  if (s.itempl != 0)
    carmsd(s);
  else
    s.rmsd = 0.0f;
  if (s.irest != 0) rest_zephal(s);
  energy_sum(s);
}

}  // namespace vorb
