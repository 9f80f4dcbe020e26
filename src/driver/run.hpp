// Entry point of the program: command line, start-up and mode dispatch.
#pragma once

#include <string>
#include <vector>

#include "io/file_set.hpp"
#include "model/model_state.hpp"

namespace vorb {

// Runs one mode on the arguments (argv[1..]) and returns the exit status: 0 for every normal
// end (also after the usage text and the program's own stops), 2 for read errors and rejected
// input. Messages go to standard output, stops and errors to the error stream.
int run_main(const std::vector<std::string>& args);

// run_main on a file set in memory: inputs from it, outputs, messages and errors into it; the
// file system is not touched. Safe to call from several threads, each with its own set.
int run_in_memory(FileSet& files, const std::vector<std::string>& args);

// The run itself on a fresh state; throws StopRun, EndRun, InputError.
void run(ModelState& s, const std::vector<std::string>& args);

}  // namespace vorb
