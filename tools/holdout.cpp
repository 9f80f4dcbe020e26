#include "holdout.hpp"

#include <algorithm>
#include <filesystem>

namespace vorb::tools {

Split split_directory(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    if (e.path().extension() == ".pdb") files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    return std::filesystem::path(a).filename().string() <
           std::filesystem::path(b).filename().string();
  });
  Split s;
  for (std::size_t i = 0; i < files.size(); ++i)
    (is_held_out(i) ? s.heldout : s.train).push_back(files[i]);
  return s;
}

}  // namespace vorb::tools
