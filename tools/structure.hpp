// Real protein chains for the tools: the ATOM records of one chain, grouped into residues.
//
// Uses the program's own line filter (ATOM records only, alternate location blank or "A",
// reading stops at the first "TER" or "END"), so the tools see a file exactly as VORB does.
// Residues are grouped by residue number and insertion code in file order; within a residue
// the first record of an atom name wins.
#pragma once

#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "geometry/vec3.hpp"

namespace vorb::tools {

struct Residue {
  std::string name;    // three-letter residue name
  int num = 0;         // residue number as written
  char icode = ' ';    // insertion code
  int type = 0;        // 1..20 in the order of afn, 0 for other names
  std::vector<std::pair<std::string, Vec3>> atoms;  // 4-character names, file order

  const Vec3* find(const std::string& name4) const;
  bool has(const std::string& name4) const { return find(name4) != nullptr; }
  Vec3 at(const std::string& name4) const;  // throws when absent
};

struct Chain {
  std::string source;  // file it came from
  std::string name;    // chain ID, when read by read_protein_chains
  std::vector<Residue> res;
};

// Reads the chain ("-": standard input); throws InputError when the file cannot be opened, is
// a directory, or a number field is malformed. Hydrogen records are kept (names with "H" in
// the second column).
Chain read_chain(const std::string& path);
// The same on an open stream; path labels messages.
Chain read_chain_stream(std::istream& in, const std::string& path);

// The protein chains of one model (the first when model is empty) of a PDB or mmCIF file,
// gzipped or not, "-" for standard input, read as prep reads them: the polymer residues only,
// MSE as MET (SE as SD), alternate locations blank or A, heavy atoms only, residue numbers and
// insertion codes as written. InputError when the file cannot be read or lacks the model.
std::vector<Chain> read_protein_chains(const std::string& path, const std::string& model = "");
// The same on a whole file's text (gzipped or not), name labelling messages: the entry point of
// the fuzz harness.
std::vector<Chain> protein_chains_from_text(std::string text, const std::string& name);

// Whether residues i and i+1 are bonded: C(i)-N(i+1) at most 2.0 A (false if either is absent).
bool peptide_bonded(const Chain& c, std::size_t i);

}  // namespace vorb::tools
