// Writers of the model outputs (reduced PDB layout) and of the mode-"1" hydrogen output.
#pragma once

#include <string>

#include "model/model_state.hpp"

namespace vorb {

// One ATOM record: "("ATOM",I7,1X,A4,1X,A3,2X,I4,4X,3F8.3,I3)".
//   1-4 ATOM, 5-11 serial, 13-16 atom name, 18-20 residue name, 23-26 residue number,
//   31-54 x y z (F8.3), 55-57 placement flag.
std::string atom_record(int serial, const Name4& name, const Name3& resname, int resnum, float x,
                        float y, float z, int flag);

// Writes every placed (x not above 990) non-hydrogen atom in topology order, serials counting
// written atoms from 1, then "TER" when ter is set. Replaces the file.
void write_model(ModelState& s, const std::string& path, bool ter);

// Mode "1" output, s.pdbfile + ".h": each placed heavy atom that came from the input as its
// first 30 input columns followed by the current coordinates "(A30,3f8.3)", each placed hydrogen
// as an ATOM record with serial 0 and the current residue number, then "TER".
void write_hydrogen_output(ModelState& s);

}  // namespace vorb
