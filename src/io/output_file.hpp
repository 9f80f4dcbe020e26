// Output files that appear complete or not at all.
//
// Lines go to a temporary file in the target's directory; commit() closes it and renames it over
// the target. A run that fails or is interrupted before commit() leaves the previous file intact
// and removes its temporary file.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace vorb {

class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes the text followed by a line end.
  void line(std::string_view text);
  // Finishes the temporary file without renaming it: throws InputError when it could not be
  // written or the target is a directory, so that after close() only the rename remains.
  // Files that must appear together are all closed before the first is committed.
  void close();
  // Finishes the file (closing it first when close() was not called) and renames it over the
  // target; throws InputError when it could not be written.
  void commit();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string tmp_;
  std::ofstream out_;
  bool closed_ = false;
  bool done_ = false;
};

}  // namespace vorb
