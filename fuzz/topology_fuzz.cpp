// Topology reader in the three ways the modes read it, then the atom-table set-up.
#include "fuzz_common.hpp"
#include "model/atom_table.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  for (const char* mode : {"7", "1", "5"}) {
    auto s = std::make_unique<ModelState>();
    s->mode = Name4::from(mode);
    fuzz::expect_sound([&] {
      std::istringstream in(input);
      read_topology_stream(*s, in, "Hdd");
      build_atom_table(*s);
    });
  }
  return 0;
}
