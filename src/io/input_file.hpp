// Opening input files: a file that does not exist is distinguished from one that exists but
// cannot be read (a directory, no permission), which is always a read error. Inside a run with
// a file set in memory (file_set.hpp) the file is looked up there instead.
#pragma once

#include <fstream>
#include <istream>
#include <streambuf>
#include <string>

namespace vorb {

// An input stream over a file on disk or over text held elsewhere (not copied).
class InputFile : public std::istream {
 public:
  InputFile() : std::istream(nullptr) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // False when the file cannot be opened.
  bool open_file(const std::string& path);
  // Reads text, which must outlive the stream.
  void open_text(const std::string& text);

 private:
  struct ViewBuf : std::streambuf {
    void view(const std::string& text) {
      char* p = const_cast<char*>(text.data());
      setg(p, p, p + text.size());
    }
  };
  std::filebuf file_;
  ViewBuf text_;
};

// Opens path for reading. Returns false when it does not exist; throws InputError naming the
// file when it exists but cannot be opened or is a directory.
bool open_input(InputFile& in, const std::string& path);

}  // namespace vorb
