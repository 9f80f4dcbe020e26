#include "io/input_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "model/errors.hpp"

namespace vorb {

bool open_input(std::ifstream& in, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (st.type() == fs::file_type::not_found) return false;
  if (ec) throw InputError(path, 0, "cannot open: " + ec.message());
  if (st.type() == fs::file_type::directory) throw InputError(path, 0, "is a directory, not a file");
  in.open(path, std::ios::binary);
  if (!in) throw InputError(path, 0, std::string("cannot open: ") + std::strerror(errno));
  return true;
}

}  // namespace vorb
