#include "driver/analysis_run.hpp"

namespace vorb {

void torsion_run(ModelState& s) { (void)s; }

void hbond_analysis_run(ModelState& s) { (void)s; }

}  // namespace vorb
