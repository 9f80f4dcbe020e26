#include "io/output_file.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/file_set.hpp"
#include "model/errors.hpp"

namespace vorb {
namespace fs = std::filesystem;
namespace {

// FNV-1a: a short, stable tag of the target's name for its temporary file.
std::string name_tag(const std::string& s) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  static const char digits[] = "0123456789abcdef";
  std::string tag(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) tag[std::size_t(i)] = digits[h & 15];
  return tag;
}

}  // namespace

fs::path output_target(const std::string& given) {
  fs::path p(given);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    fs::path to = fs::read_symlink(p, ec);
    if (ec) throw InputError(given, 0, "cannot follow the symbolic link: " + ec.message());
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  throw InputError(given, 0, "cannot write output file: " +
                                 std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
}

// The temporary file lives beside the target (so the rename stays within one file system) under
// a short name of its own, so a target whose name is near the system's limit still gets one.
// It is created exclusively: runs writing the same target at once never share it.
OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  if ((set_ = current_file_set())) {
    kind_ = Kind::memory;
    return;
  }
  if (path_ == "-") {
    kind_ = Kind::standard_output;
    return;
  }
  const fs::path target = output_target(path_);
  target_ = target.string();
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st)) {
    // A FIFO or a device: renaming a file over it would replace it.
    kind_ = Kind::direct;
    errno = 0;
    out_.open(target_, std::ios::binary | std::ios::trunc);
    if (!out_) {
      const int err = errno;
      throw InputError(path_, 0, std::string("cannot open output file") +
                                     (err != 0 ? std::string(": ") + std::strerror(err) : ""));
    }
    return;
  }
  std::string base = ".vorb-" + name_tag(target_);
  int err = 0;
  for (int k = 0; k < 1000; ++k) {
    fs::path tmp = target.parent_path() / (base + "." + std::to_string(k) + ".tmp");
    errno = 0;
    if (std::FILE* f = std::fopen(tmp.string().c_str(), "wx")) {
      std::fclose(f);
      tmp_ = tmp.string();
      break;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  if (!tmp_.empty()) out_.open(tmp_, std::ios::binary | std::ios::trunc);
  if (tmp_.empty() || !out_) {
    std::string why = err != 0 ? std::string(": ") + std::strerror(err) : std::string();
    if (!tmp_.empty()) std::remove(tmp_.c_str());
    tmp_.clear();
    throw InputError(path_, 0, "cannot create output file" + why);
  }
}

OutputFile::~OutputFile() {
  if (!done_ && !tmp_.empty()) {
    out_.close();
    std::remove(tmp_.c_str());
  }
}

void OutputFile::line(std::string_view text) {
  const bool held = kind_ == Kind::standard_output || kind_ == Kind::memory;
  std::ostream& o = held ? static_cast<std::ostream&>(buffer_) : out_;
  o.write(text.data(), std::streamsize(text.size()));
  o.put('\n');
}

void OutputFile::close() {
  if (kind_ == Kind::standard_output || kind_ == Kind::memory) {
    closed_ = true;
    return;
  }
  if (!closed_) {
    out_.close();
    closed_ = true;
  }
  if (!out_) throw InputError(path_, 0, "cannot write output file");
  if (kind_ == Kind::direct) return;
  std::error_code ec;
  // The rename would fail on a directory.
  if (fs::is_directory(fs::symlink_status(target_, ec)))
    throw InputError(path_, 0,
                     "cannot write output file: " +
                         std::make_error_code(std::errc::is_a_directory).message());
}

void OutputFile::commit() {
  close();
  if (kind_ == Kind::memory) {
    set_->files[path_] = buffer_.str();
  } else if (kind_ == Kind::standard_output) {
    const std::string text = buffer_.str();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
      throw InputError("standard output", 0, "cannot write");
  } else if (kind_ == Kind::replace) {
    std::error_code ec;
    fs::rename(tmp_, target_, ec);
    if (ec) throw InputError(path_, 0, "cannot write output file: " + ec.message());
  }
  done_ = true;
}

}  // namespace vorb
