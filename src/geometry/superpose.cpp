#include "geometry/superpose.hpp"

#include <stdexcept>

namespace vorb {

void u3b(const double* w, const double* x, const double* y, int n, int mode, double& rms,
         double u[9], double t[3], int& ier) {
  (void)w; (void)x; (void)y; (void)n; (void)mode; (void)rms; (void)u; (void)t; (void)ier;
  throw std::logic_error("not built yet");
}
void carmsd(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }

}  // namespace vorb
