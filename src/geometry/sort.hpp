// Heapsorts whose handling of equal keys the rest of the program depends on.
#pragma once

#include <span>
#include <vector>

namespace vorb {

// Sorts arr ascending in place (positions 1..n are arr[0..n-1]); n < 2 leaves it unchanged.
void sort(std::span<float> arr);

// 1-based positions p(1..n) with arr(p(1)) <= arr(p(2)) <= ...; arr is not changed. Equal keys
// come out in the order the heapsort leaves them, not in input order.
std::vector<int> sortindex(std::span<const float> arr);

}  // namespace vorb
