// Readers of the input structure and the template (fixed-column PDB ATOM records).
//
// Line filter shared by both: each line is read as its first 100 characters; reading stops at
// end of file or at the first line starting "END" or "TER"; a line is taken when it starts
// "ATOM" and its alternate location (column 17) is blank or "A".
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "model/model_state.hpp"

namespace vorb {

// Whether a line ends the read ("END..." or "TER...").
bool pdb_stop_line(std::string_view line);
// Whether a line is a taken ATOM record.
bool pdb_take_line(std::string_view line);

// Reads s.pdbfile into the input atom list (pdbatom, pdbresd, pdbress, xx0..zz0, npdb; kfp and
// tkfpres in mode "1"). Outside the building modes residues are renumbered 1, 2, ... in file
// order. Fewer than 10 atoms: prints "read pdb file err, total atoms" and the count, and ends
// the run (EndRun). A file that does not exist reads as empty. Non-numeric text in a number
// field is an InputError.
void read_structure(ModelState& s);
// The same on an open stream; s.pdbfile only labels messages.
void read_structure_stream(ModelState& s, std::istream& in);

// Reads the C-alpha atoms of the template s.tmplfile into bbkxx..bbkzz by residue number and
// sets itempl (printing "WARNING!!! No template used" when there is none). Records numbered
// outside 1..nres, and records with a coordinate of 1e6 A or more, are ignored with one warning
// line per kind counting them; tmplres marks the residues the template supplied.
void read_template(ModelState& s);
// The same on an open stream (nullptr: no template file); s.tmplfile only labels messages.
void read_template_stream(ModelState& s, std::istream* in);

}  // namespace vorb
