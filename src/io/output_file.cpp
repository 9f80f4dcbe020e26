#include "io/output_file.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "model/errors.hpp"

namespace vorb {
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

// The temporary file lives beside the target (so the rename stays within one file system) under
// a short name of its own, so a target whose name is near the system's limit still gets one.
// It is created exclusively: runs writing the same target at once never share it.
OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  std::filesystem::path target(path_);
  std::string base = ".vorb-" + name_tag(path_);
  int err = 0;
  for (int k = 0; k < 1000; ++k) {
    std::filesystem::path tmp = target.parent_path() / (base + "." + std::to_string(k) + ".tmp");
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
  out_.write(text.data(), std::streamsize(text.size()));
  out_.put('\n');
}

void OutputFile::close() {
  if (!closed_) {
    out_.close();
    closed_ = true;
  }
  if (!out_) throw InputError(path_, 0, "cannot write output file");
  std::error_code ec;
  // The rename would fail on a directory (a symbolic link is replaced, as rename does).
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path_, ec)))
    throw InputError(path_, 0,
                     "cannot write output file: " +
                         std::make_error_code(std::errc::is_a_directory).message());
}

void OutputFile::commit() {
  close();
  std::error_code ec;
  std::filesystem::rename(tmp_, path_, ec);
  if (ec) throw InputError(path_, 0, "cannot write output file: " + ec.message());
  done_ = true;
}

}  // namespace vorb
