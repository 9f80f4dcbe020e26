// Readers of seq.dat, init.dat, the backbone library and the restraint files.
//
// The fixed names are looked up in the working directory; the *_file forms take a path and
// exist so that callers and tests can read a file elsewhere. An end of file before the records
// are complete, a malformed fixed-column field and a library whose header disagrees with its
// records are InputErrors naming the file and line.
#pragma once

#include <istream>
#include <memory>
#include <string>

#include "model/model_state.hpp"

namespace vorb {

// seq.dat into sscode (records 1..nres, stopping at one that is not numbers). Returns the first
// integer of the last record read, 0 when none; opened reports whether the file exists.
int read_seq(ModelState& s, bool& opened);
int read_seq_file(ModelState& s, const std::string& path, bool& opened);
int read_seq_stream(ModelState& s, std::istream& in, const std::string& path);

// init.dat: the 4-character level ("easy" when missing or unreadable).
std::string read_level();
std::string read_level_file(const std::string& path);

// The library named by s.libfile into bbcoord, the three index tables and nbb, nbbc, nbbh,
// nbbe. Returns false, reading nothing, when no library was named (s.libfile empty); a named
// file that cannot be opened or read is an InputError.
// Inside a run with a file set in memory, a library the set holds under that name is shared
// (s.library) rather than read.
bool read_library(ModelState& s);
// A library read once from a file, for file sets to share between runs.
std::shared_ptr<const BBLibrary> read_shared_library(const std::string& path);
void read_library_file(BBLibrary& s, const std::string& path);
void read_library_stream(BBLibrary& s, std::istream& in, const std::string& path);

// dist.dat, distL.dat and combCA.dat (pairs with probability above cutoff). Rows naming a
// residue outside 1..nres are dropped, with one warning line per file counting them.
void read_restraints(ModelState& s, float cutoff);
void read_restraints_in(ModelState& s, float cutoff, const std::string& dir);

// One restraint file on an open stream; path labels messages.
enum class RestraintFile { dist, distl, comb };
void read_restraint_stream(ModelState& s, RestraintFile which, std::istream& in,
                           const std::string& path, float cutoff);

}  // namespace vorb
