#include "io/file_set.hpp"

#include <iostream>

namespace vorb {
namespace {
thread_local FileSet* current = nullptr;
}  // namespace

FileSet* current_file_set() { return current; }

UseFileSet::UseFileSet(FileSet& set) : previous_(current) { current = &set; }
UseFileSet::~UseFileSet() { current = previous_; }

std::ostream& message_stream() { return current ? current->out : std::cout; }
std::ostream& error_stream() { return current ? current->err : std::cerr; }

}  // namespace vorb
