// Export of the program's models (name.h, name.fix, the mode "1" output) as standard PDB or
// mmCIF: element column, chain ID, occupancy 1.00, B-factor 0.00, hydrogens named in the current
// PDB convention, the original chain, residue numbers and insertion codes from the residue map
// of prep; coordinates moved back into the frame of the prepared input (the program shifts
// its model into a lattice frame by a translation).
#pragma once

#include <array>
#include <istream>
#include <string>
#include <vector>

#include "commands.hpp"

namespace vorb::tools {

struct ModelAtom {
  std::string name4;  // columns 13-16
  std::string res3;   // columns 18-20
  int resnum = 0;     // columns 23-26
  double x = 0, y = 0, z = 0;
};

// The taken ATOM records of a model file (the program's own line filter). InputError naming
// file and line on a malformed number, or when there is no ATOM record.
std::vector<ModelAtom> read_model(const std::string& path);
std::vector<ModelAtom> read_model_stream(std::istream& in, const std::string& path);

// One row of residues.tsv; row k describes the residue numbered k + 1.
struct MapRow {
  std::string residue;  // residue name in the model
  std::string chain;
  int number = 0;
  char icode = ' ';
};

// Reads residues.tsv (header line, then rows numbered 1, 2, ... in order); the chain may be blank
// (an empty field). InputError naming file and line otherwise.
std::vector<MapRow> read_residue_map(const std::string& path);
std::vector<MapRow> read_residue_map_stream(std::istream& in, const std::string& path);

// The translation that takes the model's C-alpha atoms onto the input's (matched by residue
// number): per axis the lower median of the differences, so that a shift of the whole model is
// undone exactly where the C-alpha atoms were kept. `matched` counts the pairs; {0, 0, 0} when
// there is none.
std::array<double, 3> frame_offset(const std::vector<ModelAtom>& model,
                                   const std::vector<ModelAtom>& input, int& matched);

// Moves every atom by -offset.
void shift_atoms(std::vector<ModelAtom>& atoms, const std::array<double, 3>& offset);

// A residue of an exported file.
struct OutAtom {
  std::string name, element;
  char altloc = ' ';
  float occ = 1.0f, b = 0.0f;
  signed char charge = 0;
  double x = 0, y = 0, z = 0;
};
struct OutResidue {
  std::string name, chain;
  int number = 0;
  char icode = ' ';
  bool hetero = false;  // a ligand, ion or water: HETATM records, a non-polymer or water entity
  bool water = false;
  std::vector<OutAtom> atoms;
};

// The residues of a model, named after the map (none: chain "A", the model's numbers).
// InputError when a model residue is not in the map or has another name there.
std::vector<OutResidue> model_residues(const std::vector<ModelAtom>& atoms,
                                       const std::vector<MapRow>& map);

// The current PDB name of an atom of the program ("1HB " of SER is "HB2", "1HD1" of ILE
// "HD11", "1H  " "H1"); heavy atoms keep their name without blanks.
std::string standard_atom_name(const std::string& res3, const std::string& name4);

enum class ExportFormat { pdb, mmcif };

// mmCIF for names ending in .cif or .mmcif, PDB otherwise.
ExportFormat format_for(const std::string& path);

// A file's text from its residues: the residues of one chain name form one chain (polymer
// residues first, in order, then hetero groups), so a chain modelled in segments has no TER
// inside it; one polymer entity per chain, one non-polymer entity per hetero group name, one
// water entity.
std::string structure_text(const std::vector<OutResidue>& residues, ExportFormat format,
                           const std::string& title);

// The exported file's text: structure_text of model_residues.
std::string export_text(const std::vector<ModelAtom>& atoms, const std::vector<MapRow>& map,
                        ExportFormat format, const std::string& title);

// Writes text to out_path (standard output when empty) completely or not at all.
void write_text(const std::string& text, const std::string& out_path);

// Reads the model and the map (none when map_path is empty), moves the model into the frame of
// the input it was built from (input_path; kept as it is when empty) and writes out_path
// (standard output when empty) completely or not at all; the entry is named after out_path (or
// the model). Returns the translation undone.
std::array<double, 3> export_model(const std::string& model_path, const std::string& map_path,
                                   const std::string& input_path, const std::string& out_path);

int cmd_export(const Args& args);

}  // namespace vorb::tools
