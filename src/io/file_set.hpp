// Where a run's files and messages go. By default: the working directory and the standard
// streams. A program that runs VORB inside itself gives each run a FileSet held in memory
// instead: the run reads its inputs from the set, writes its outputs and messages into it, and
// touches no file; runs on different threads, each with its own set, share nothing.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

namespace vorb {

struct BBLibrary;

struct FileSet {
  // Files by the names the run uses: the inputs before the run, its outputs added after.
  std::map<std::string, std::string> files;
  // Backbone libraries already read (read_library_into), by the name the run is given: a run
  // uses such a library in place of reading the file again.
  std::map<std::string, std::shared_ptr<const BBLibrary>> libraries;
  // A seed (1 or more) that starts the random stream afresh, in place of the run's own start.
  std::optional<int> seed;
  std::ostringstream out, err;  // the run's messages and its error stream
};

// The file set of this thread's current run; null when runs use the file system.
FileSet* current_file_set();

// Makes a file set the current one of this thread while it lives.
class UseFileSet {
 public:
  explicit UseFileSet(FileSet& set);
  ~UseFileSet();
  UseFileSet(const UseFileSet&) = delete;
  UseFileSet& operator=(const UseFileSet&) = delete;

 private:
  FileSet* previous_;
};

// The run's message stream (standard output by default) and error stream.
std::ostream& message_stream();
std::ostream& error_stream();

}  // namespace vorb
