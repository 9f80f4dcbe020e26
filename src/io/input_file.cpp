#include "io/input_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/file_set.hpp"
#include "model/errors.hpp"

namespace vorb {

bool InputFile::open_file(const std::string& path) {
  if (!file_.open(path, std::ios::in | std::ios::binary)) return false;
  rdbuf(&file_);
  clear();
  return true;
}

void InputFile::open_text(const std::string& text) {
  text_.view(text);
  rdbuf(&text_);
  clear();
}

bool open_input(InputFile& in, const std::string& path) {
  if (FileSet* set = current_file_set()) {
    auto it = set->files.find(path);
    if (it == set->files.end()) return false;
    in.open_text(it->second);
    return true;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (st.type() == fs::file_type::not_found) return false;
  if (ec) throw InputError(path, 0, "cannot open: " + ec.message());
  if (st.type() == fs::file_type::directory) throw InputError(path, 0, "is a directory, not a file");
  errno = 0;
  if (!in.open_file(path)) throw InputError(path, 0, std::string("cannot open: ") + std::strerror(errno));
  return true;
}

}  // namespace vorb
