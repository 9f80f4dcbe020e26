// Whole runs of the analysis, hydrogen, building and refinement modes on a fuzzed structure and, optionally,
// a fuzzed topology: the input is a structure file, optionally followed by a line "#HDD" and the
// topology without its 1369 propensity records (the harness appends those of a real topology).
// The run happens in a private scratch directory, with a small fragment library there.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "driver/run.hpp"
#include "fuzz_common.hpp"

using namespace vorb;

namespace {

void put(const std::string& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
}

// Header and the first ten records of each class of the committed library.
std::string small_library() {
  std::ifstream in(std::string(VORB_DATA_DIR) + "/BBdat", std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::string coil, helix, strand;
  int nc = 0, nh = 0, ne = 0;
  while (std::getline(in, line)) {
    std::string* to = line.compare(0, 2, " 1") == 0 ? &coil : line.compare(0, 2, " 2") == 0 ? &helix : &strand;
    int& n = to == &coil ? nc : to == &helix ? nh : ne;
    if (n < 10) {
      *to += line + '\n';
      ++n;
    }
  }
  return std::to_string(nc + nh + ne) + " " + std::to_string(nc) + " " + std::to_string(nh) +
         " " + std::to_string(ne) + "\n" + coil + helix + strand;
}

// The run reads and writes fixed names in the working directory, so the harness works in a
// directory of its own (corpus and artifact paths given to libFuzzer must be absolute).
struct Scratch {
  std::string dir;
  std::string rama;  // the propensity records of a real topology
  Scratch() {
    char name[] = "/tmp/vorb-fuzz-run-XXXXXX";
    if (!mkdtemp(name) || chdir(name) != 0) std::abort();
    dir = name;
    put("BBdat", small_library());
    const std::string hdd = fuzz::hdd_text({9, 15, 7, 18, 5});
    std::size_t at = hdd.size();
    for (int k = 0; k < 1369 + 1 && at > 0; ++k) at = hdd.rfind('\n', at - 1);
    rama = hdd.substr(at + 1);
    put("Hdd.default", hdd);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::current_path("/", ec);
    std::filesystem::remove_all(dir, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  static const Scratch scratch;
  std::string input = fuzz::text(data, size);
  const std::size_t mark = input.find("\n#HDD\n");
  std::filesystem::remove("Hdd");
  if (mark == std::string::npos) {
    std::filesystem::copy_file("Hdd.default", "Hdd");
  } else {
    put("Hdd", input.substr(mark + 6) + scratch.rama);
    input.resize(mark + 1);
  }
  put("in.pdb", input);
  const char* const modes[] = {"1", "5", "66", "8", "23", "2", "3", "31"};
  const std::string mode = modes[size % 8];
  auto s = std::make_unique<ModelState>();
  fuzz::expect_sound([&] { run(*s, {mode, "in.pdb", "BBdat"}); });
  return 0;
}
