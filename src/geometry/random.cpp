#include "geometry/random.hpp"

#include <bit>
#include <climits>
#include <cstdint>

namespace vorb {
namespace {

constexpr int IM1 = 2147483563, IA1 = 40014, IQ1 = 53668, IR1 = 12211;
constexpr int IM2 = 2147483399, IA2 = 40692, IQ2 = 52774, IR2 = 3791;
constexpr int NTAB = 32;
constexpr int IMM1 = IM1 - 1;
constexpr int NDIV = 1 + IMM1 / NTAB;
// The scale and the cap are fixed by their bit patterns: the sequence depends on them.
const float AM = std::bit_cast<float>(std::uint32_t{0x30000001});
const float RNMX = std::bit_cast<float>(std::uint32_t{0x3F7FFFFE});

// One step of a multiplicative congruential generator (Schrage's method, no overflow).
inline int lcg_step(int x, int ia, int iq, int ir, int im) {
  const int k = x / iq;
  x = ia * (x - k * iq) - k * ir;
  if (x < 0) x += im;
  return x;
}

}  // namespace

float rand(RandState& st, int& seed) {
  if (seed <= 0) {
    // max(-seed, 1); the most negative seed, whose negation wraps to itself, gives 1.
    seed = seed == INT_MIN ? 1 : (-seed > 1 ? -seed : 1);
    st.iseed2 = seed;
    for (int j = NTAB + 8; j >= 1; --j) {
      seed = lcg_step(seed, IA1, IQ1, IR1, IM1);
      if (j <= NTAB) st.iv[j] = seed;
    }
    st.iy = st.iv[1];
  }
  seed = lcg_step(seed, IA1, IQ1, IR1, IM1);
  st.iseed2 = lcg_step(st.iseed2, IA2, IQ2, IR2, IM2);
  const int j = 1 + st.iy / NDIV;
  st.iy = st.iv[j] - st.iseed2;
  st.iv[j] = seed;
  if (st.iy < 1) st.iy += IMM1;
  float r = static_cast<float>(st.iy) * AM;
  if (r > RNMX) r = RNMX;
  return r;
}

}  // namespace vorb
