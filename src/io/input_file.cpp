#include "io/input_file.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "model/errors.hpp"

namespace vorb {

bool open_input(std::ifstream& in, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw InputError(path, 0, std::string("cannot open: ") + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) throw InputError(path, 0, "is a directory, not a file");
  in.open(path, std::ios::binary);
  if (!in) throw InputError(path, 0, std::string("cannot open: ") + std::strerror(errno));
  return true;
}

}  // namespace vorb
