// Rotamer library reader; a library that reads must answer every type in every cell with
// rotamers sorted by probability that sum to 1.
#include <cmath>
#include <limits>

#include "fuzz_common.hpp"
#include "packer/rotamers.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    packer::RotamerLibrary lib = packer::RotamerLibrary::read_stream(in, "rotamers");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const char* res : {"SER", "VAL", "PRO", "LYS", "ARG", "PHE", "TRP"})
      for (float phi : {nan, -180.0f, -61.0f, 0.0f, 179.9f, 180.0f})
        for (float psi : {-180.0f, -41.0f, 135.0f, 180.0f}) {
          auto rots = lib.lookup(res, phi, psi);
          if (rots.empty()) throw std::logic_error("a cell without rotamers after a read");
          double sum = 0;
          for (std::size_t k = 0; k < rots.size(); ++k) {
            sum += rots[k].prob;
            if (k > 0 && rots[k].prob > rots[k - 1].prob)
              throw std::logic_error("rotamers not sorted by probability");
            if (!(rots[k].chi[0] > -180.0f && rots[k].chi[0] <= 180.0f))
              throw std::logic_error("chi1 outside (-180, 180]");
          }
          if (std::fabs(sum - 1.0) > 1e-4) throw std::logic_error("probabilities do not sum to 1");
        }
  });
  return 0;
}
