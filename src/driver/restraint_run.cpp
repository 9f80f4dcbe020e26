#include "driver/restraint_run.hpp"

#include "analysis/torsions.hpp"
#include "io/aux_read.hpp"
#include "restraints/hblist.hpp"

namespace vorb {

void restraint_run(ModelState& s) {
  // seq.dat is optional here: without it the codes stay 0 and only the torsions decide.
  bool opened = false;
  read_seq(s, opened);
  angle(s);
  ass2nd(s);
  restr_stru(s);
}

}  // namespace vorb
