// Predicted hydrogen-bond file reader against the peptide topology: every bond it returns must
// name a backbone N and O of the model.
#include "fuzz_common.hpp"
#include "restraints/hblist.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  auto s = fuzz::peptide_state("6");
  std::istringstream in(fuzz::text(data, size));
  fuzz::expect_sound([&] {
    for (const auto& [d, a] : read_prhb_stream(*s, in)) {
      if (d < 1 || d > s->natom || a < 1 || a > s->natom || !(s->atom(d, 1) == " N  ") ||
          !(s->atom(a, 1) == " O  "))
        throw std::logic_error("PRHB bond outside the model's backbone N and O atoms");
    }
  });
  return 0;
}
