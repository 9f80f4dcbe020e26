#include "outputs.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/output_file.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

void check_output_writable(const std::string& path) {
  if (path == "-") return;
  const fs::path target = output_target(path);
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (fs::is_directory(st))
    throw InputError(path, 0, "cannot write output file: " +
                                  std::make_error_code(std::errc::is_a_directory).message());
  if (fs::exists(st) && !fs::is_regular_file(st)) return;  // written directly when the time comes
  const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (!fs::is_directory(dir, ec))
    throw InputError(path, 0, "cannot write output file: the directory " + dir.string() +
                                  " does not exist");
  // The directory takes the temporary file (removed unwritten)...
  { OutputFile probe(path); }
  // ... and the name itself can be made.
  if (!fs::exists(st)) {
    errno = 0;
    std::FILE* f = std::fopen(target.string().c_str(), "wx");
    const int err = errno;
    if (!f) throw InputError(path, 0, std::string("cannot create output file: ") + std::strerror(err));
    std::fclose(f);
    fs::remove(target, ec);
  }
}

std::FILE* report_stream(const std::string& output) { return output == "-" ? stderr : stdout; }

StdoutAside::StdoutAside(bool on) {
  if (!on) return;
  std::fflush(stdout);
  saved_ = ::dup(1);
  if (saved_ >= 0) ::dup2(2, 1);
}

StdoutAside::~StdoutAside() { restore(); }

void StdoutAside::restore() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  ::dup2(saved_, 1);
  ::close(saved_);
  saved_ = -1;
}

}  // namespace vorb::tools
