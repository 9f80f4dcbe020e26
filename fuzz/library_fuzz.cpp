// Backbone fragment library reader; a second read into the same state must leave no rows of
// the first beyond its own count.
#include "fuzz_common.hpp"
#include "io/aux_read.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  auto s = std::make_unique<ModelState>();
  s->mode = Name4::from("23");
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    read_library_stream(*s, in, "BBdat");
    if (s->nbbc + s->nbbh + s->nbbe != s->nbb || s->nbb > kMaxBB)
      throw std::logic_error("library counts inconsistent after a successful read");
    std::istringstream again("1 1 0 0\n 1  0  0  0  0  0  1  1   1.000   1.000   1.000   1.000   1.000   1.000\n");
    read_library_stream(*s, again, "BBdat");
    for (int k = 2; k <= kMaxBB && k <= 2 + 100; ++k)
      if (s->bbcoord(k, 1) != 0.0f) throw std::logic_error("stale library row after a re-read");
  });
  return 0;
}
