// Export of the program's models (name.h, name.fix, the mode "1" output) as standard PDB or
// mmCIF: element column, chain ID, occupancy 1.00, B-factor 0.00, hydrogens named in the current
// PDB convention, the original chain, residue numbers and insertion codes from the residue map
// of prep; coordinates as the model file has them.
#pragma once

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

// One row of residues.tsv; row k describes the residue numbered k + 1.
struct MapRow {
  std::string residue;  // residue name in the model
  std::string chain;
  int number = 0;
  char icode = ' ';
};

// Reads residues.tsv (header line, then rows numbered 1, 2, ... in order). InputError naming
// file and line otherwise.
std::vector<MapRow> read_residue_map(const std::string& path);

// The current PDB name of an atom of the program ("1HB " of SER is "HB2", "1HD1" of ILE
// "HD11", "1H  " "H1"); heavy atoms keep their name without blanks.
std::string standard_atom_name(const std::string& res3, const std::string& name4);

enum class ExportFormat { pdb, mmcif };

// mmCIF for names ending in .cif or .mmcif, PDB otherwise.
ExportFormat format_for(const std::string& path);

// The exported file's text. With an empty map the chain is "A" and residue numbers stay as in
// the model. InputError when a model residue is not in the map or has another name there.
std::string export_text(const std::vector<ModelAtom>& atoms, const std::vector<MapRow>& map,
                        ExportFormat format, const std::string& title);

// Reads the model and the map (none when map_path is empty) and writes out_path (standard
// output when empty) completely or not at all; the entry is named after out_path (or the model).
void export_model(const std::string& model_path, const std::string& map_path,
                  const std::string& out_path);

int cmd_export(const Args& args);

}  // namespace vorb::tools
