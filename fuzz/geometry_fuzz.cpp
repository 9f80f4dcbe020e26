// Side-chain geometry reader; a geometry that reads builds every side chain at finite
// positions with its bonds as read.
#include <cmath>

#include "fuzz_common.hpp"
#include "packer/sidechain_geometry.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    packer::SideChainGeometry g = packer::SideChainGeometry::read_stream(in, "geometry.txt");
    const Vec3 n{0.0f, 1.45f, 0.0f}, ca{0, 0, 0}, c{1.43f, -0.55f, 0.0f};
    for (const char* res : {"SER", "VAL", "ILE", "PRO", "LYS", "ARG", "HIS", "TRP", "TYR"}) {
      const packer::ScTopology* t = g.topology(res);
      if (!t) throw std::logic_error("a topology missing after a read");
      Vec3 x[16];
      const Vec3 cb = packer::place_cb(*t, n, ca, c);
      packer::build_side_chain(*t, n, ca, c, cb, {60.0f, -170.0f, 65.0f, 180.0f}, x);
      for (std::size_t k = 0; k < t->atoms.size(); ++k)
        if (!std::isfinite(x[k].x) || !std::isfinite(x[k].y) || !std::isfinite(x[k].z))
          throw std::logic_error("a side-chain atom at a non-finite position");
    }
  });
  return 0;
}
