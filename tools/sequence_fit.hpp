// The whole chain's sequence for rebuild: from --sequence, or from the file's SEQRES records
// (PDB) or entity sequence (mmCIF); the prepared residues placed on it, and the residues the
// input lacks added without atoms, for mode 31 to build.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "prep.hpp"

namespace vorb::tools {

// Residue names (three letters) of a sequence given on the command line: the path of a file
// (FASTA, the first record, or plain one-letter text) when one exists by that name, else the
// text itself in one-letter code. InputError on a letter that is not one of the twenty.
std::vector<std::string> sequence_argument(const std::string& arg);
// One-letter text (blanks and '*' ignored) as residue names; InputError naming `where` for a
// letter outside the twenty or an empty sequence.
std::vector<std::string> sequence_letters(const std::string& text, const std::string& where);
// The same on an open file (FASTA or plain text); where labels messages.
std::vector<std::string> read_sequence_stream(std::istream& in, const std::string& where);

// The sequence of the chain's entity in a PDB (SEQRES) or mmCIF file; empty when the file has
// none, or when it holds a residue other than the twenty (MSE is read as MET). (A unit of its
// own: it needs gemmi.)
std::vector<std::string> file_sequence(const std::string& path, const std::string& chain);

struct SequenceFit {
  int added = 0;             // residues the input lacks, added without atoms
  bool by_number = false;    // placed by residue number; else by alignment
  std::string note;          // one line for the report
};

// Places p's residues on seq: by number when every number lies in 1..seq.size(), increases,
// has no insertion code and its residue name agrees with the sequence there; otherwise by an
// alignment that keeps the order, matches every residue to the same name and opens as few gaps
// as it can. The result has one residue per sequence position, numbered 1..n; the added ones
// have no atoms and take numbers continuing the input's (before the first, after the last, or
// after the residue before them). InputError naming the first residue that does not fit:
// another name at its number, or no placement (more residues than the sequence, or names out
// of order).
SequenceFit fit_sequence(Prepared& p, const std::vector<std::string>& seq);

// When no sequence is known: a warning line when the input's numbering suggests residues
// missing at the ends (the first number above 1), else empty.
std::string unextended_ends_warning(const Prepared& p);

}  // namespace vorb::tools
