// Output paths of the tools: checks made before any work, and where reports go when the output
// itself is standard output ("-").
#pragma once

#include <cstdio>
#include <string>

namespace vorb::tools {

// Refuses (InputError naming it) an output path that cannot be written: its directory is
// missing or takes no new file, the name cannot be created (too long, no permission), or it
// is a directory. "-", FIFOs and devices pass; nothing is left behind.
void check_output_writable(const std::string& path);

// The stream for a command's own report lines: the error stream when output is "-", so that
// standard output holds the output alone.
std::FILE* report_stream(const std::string& output);

// While alive and on, standard output (file descriptor 1, so child processes too) goes to the
// error stream; restore() or the destructor brings it back.
class StdoutAside {
 public:
  explicit StdoutAside(bool on);
  ~StdoutAside();
  StdoutAside(const StdoutAside&) = delete;
  StdoutAside& operator=(const StdoutAside&) = delete;
  void restore();

 private:
  int saved_ = -1;
};

}  // namespace vorb::tools
