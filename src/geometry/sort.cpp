#include "geometry/sort.hpp"

#include <stdexcept>

namespace vorb {

void sort(std::span<float> arr) { (void)arr; throw std::logic_error("not built yet"); }
std::vector<int> sortindex(std::span<const float> arr) { (void)arr; throw std::logic_error("not built yet"); }

}  // namespace vorb
