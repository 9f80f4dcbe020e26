// How a run ends early. Units throw these; only main (or the test that called a unit) catches.
#pragma once

#include <stdexcept>
#include <string>

namespace vorb {

// A file that cannot be read, or input the program rejects. Exit status 2; the message is one
// line naming the file and, where there is one, the line: "Hdd:12: expected I4 integer, found "ab"".
struct InputError : std::runtime_error {
  InputError(const std::string& file, int line, const std::string& what)
      : std::runtime_error(line > 0 ? file + ":" + std::to_string(line) + ": " + what
                                    : file + ": " + what) {}
  explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

// Input larger than a fixed table. Exit status 2.
struct CapacityError : InputError {
  CapacityError(const std::string& file, const std::string& table, long limit)
      : InputError(file, 0,
                   "more " + table + " than the capacity of " + std::to_string(limit)) {}
};

// A stop of the program's own: "STOP <message>" on the error stream, exit status 0.
struct StopRun {
  std::string message;
};

// A normal end of the run before its branch finished (after a message on standard output).
struct EndRun {
  int status = 0;
};

}  // namespace vorb
