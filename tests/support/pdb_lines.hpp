// Builds fixed-column ATOM lines for test inputs.
#pragma once

#include <cstdio>
#include <string>

namespace vorb::test {

// An ATOM record with the given atom name (4 columns), alternate location, residue name and
// number, and coordinates; columns 55-80 carry occupancy, B-factor and element like real files.
inline std::string atom_line(int serial, const char* name4, const char* res, int num, float x,
                             float y, float z, char alt = ' ', char chain = 'A') {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ATOM  %5d %-4.4s%c%3.3s %c%4d    %8.3f%8.3f%8.3f  1.00 20.00           C",
                serial, name4, alt, res, chain, num, double(x), double(y), double(z));
  return buf;
}

}  // namespace vorb::test
