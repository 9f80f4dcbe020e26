// Runs a fuzz harness over saved inputs without libFuzzer: each argument is a file or a
// directory whose files are run in name order. A finding aborts the process.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int k = 1; k < argc; ++k) {
    fs::path p = fs::absolute(argv[k]);  // a harness may change the working directory
    if (fs::is_directory(p)) {
      std::vector<fs::path> in_dir;
      for (const auto& e : fs::directory_iterator(p))
        if (e.is_regular_file()) in_dir.push_back(e.path());
      std::sort(in_dir.begin(), in_dir.end());
      files.insert(files.end(), in_dir.begin(), in_dir.end());
    } else if (fs::is_regular_file(p)) {
      files.push_back(p);
    } else {
      std::fprintf(stderr, "%s: no such file or directory\n", argv[k]);
      return 2;
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 2;
  }
  for (const fs::path& f : files) {
    std::fprintf(stderr, "%s\n", f.c_str());
    std::ifstream in(f, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "replayed %zu inputs\n", files.size());
  return 0;
}
