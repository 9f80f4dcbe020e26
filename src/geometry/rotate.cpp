#include "geometry/rotate.hpp"

#include <stdexcept>

namespace vorb {

void rotate_matrix2(float& x, float& y, float& z, float a, float b, float c, float& u, float& v,
                    float& w, float theta) {
  (void)x; (void)y; (void)z; (void)a; (void)b; (void)c; (void)u; (void)v; (void)w; (void)theta;
  throw std::logic_error("not built yet");
}

}  // namespace vorb
