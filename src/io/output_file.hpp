// Output files that appear complete or not at all.
//
// Lines go to a temporary file in the target's directory; commit() closes it and renames it over
// the target. A run that fails or is interrupted before commit() leaves the previous file intact
// and removes its temporary file.
//
// An existing target that is a symbolic link is written through: the temporary file is renamed
// onto the file the link resolves to, and the link stays. A target that exists and is neither a
// regular file nor a directory (a FIFO, a device) is opened and written directly, never replaced.
// The name "-" stands for standard output: the text is kept until commit() and written there.
// Inside a run with a file set in memory (file_set.hpp), commit() stores the text in the set.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace vorb {

struct FileSet;

// The file an output path writes: the path itself, or where its chain of symbolic links ends
// (a file that may not exist yet). InputError for a loop of links.
std::filesystem::path output_target(const std::string& path);

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
  enum class Kind { replace, direct, standard_output, memory };
  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: path_ with symbolic links resolved
  std::string tmp_;
  Kind kind_ = Kind::replace;
  std::ofstream out_;
  std::ostringstream buffer_;  // standard output's or the file set's text until commit()
  FileSet* set_ = nullptr;
  bool closed_ = false;
  bool done_ = false;
};

}  // namespace vorb
