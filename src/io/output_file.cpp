#include "io/output_file.hpp"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "model/errors.hpp"

namespace vorb {

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  tmp_ = path_ + ".tmp" + std::to_string(::getpid());
  out_.open(tmp_, std::ios::binary | std::ios::trunc);
  if (!out_) throw InputError(path_, 0, "cannot create output file");
}

OutputFile::~OutputFile() {
  if (!done_) {
    out_.close();
    std::remove(tmp_.c_str());
  }
}

void OutputFile::line(std::string_view text) {
  out_.write(text.data(), std::streamsize(text.size()));
  out_.put('\n');
}

void OutputFile::commit() {
  out_.close();
  if (!out_) throw InputError(path_, 0, "cannot write output file");
  std::error_code ec;
  std::filesystem::rename(tmp_, path_, ec);
  if (ec) throw InputError(path_, 0, "cannot write output file: " + ec.message());
  done_ = true;
}

}  // namespace vorb
