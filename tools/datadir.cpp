#include "datadir.hpp"

#include <filesystem>
#include <system_error>
#include <vector>

#include "model/errors.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

std::string self_dir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return "";
  return exe.parent_path().string();
}

namespace {

bool is_data_dir(const fs::path& d) {
  std::error_code ec;
  return fs::is_regular_file(d / "BBdat", ec) ||
         fs::is_regular_file(d / "tables" / "geometry.txt", ec);
}

std::vector<fs::path> data_candidates() {
  std::vector<fs::path> c;
  std::string self = self_dir();
  if (!self.empty()) c.push_back((fs::path(self) / VORB_BIN_TO_DATA).lexically_normal());
  c.emplace_back(VORB_DATA_DIR);
  c.emplace_back(VORB_INSTALL_DATA_DIR);
  return c;
}

}  // namespace

std::string find_data_dir(const std::string& given) {
  if (!given.empty()) {
    if (!is_data_dir(given))
      throw InputError(given + ": not a data directory (no BBdat, no tables/geometry.txt)");
    return given;
  }
  std::string tried;
  std::error_code ec;
  for (const fs::path& d : data_candidates()) {
    if (fs::is_regular_file(d / "BBdat", ec)) return d.string();
    tried += (tried.empty() ? "" : ", ") + d.string();
  }
  throw InputError("cannot find the data directory (BBdat) in " + tried + " (give --data DIR)");
}

}  // namespace vorb::tools
