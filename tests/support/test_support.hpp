// Helpers shared by the tests: scratch directories, running the programs, reading files.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "model/model_state.hpp"

namespace vorb::test {

// A fresh empty directory under the system temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;     // exit status of the process
  std::string out;     // standard output
  std::string err;     // error stream
};

// Runs a shell command line in directory dir and captures its streams.
RunResult run_in(const std::filesystem::path& dir, const std::string& command);
// Runs the VORB program (or vorb-tools) with the given argument text in dir.
RunResult run_vorb(const std::filesystem::path& dir, const std::string& args);
RunResult run_tools(const std::filesystem::path& dir, const std::string& args);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
// Path of a file under tests/data.
std::string data_path(const std::string& name);
// Path of the shared data directory (../shared); empty when it does not exist.
std::string shared_dir();

std::unique_ptr<ModelState> make_state();

}  // namespace vorb::test
