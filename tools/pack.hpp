// vorb-tools pack: new side chains for any model (PDB or mmCIF, every chain), backbone and every
// other atom left as they are.
#pragma once

#include <memory>
#include <string>

#include "commands.hpp"
#include "packer/pack.hpp"
#include "structure_file.hpp"

namespace vorb::tools {

struct PackOptions {
  std::string input, output;
  std::string data;            // data directory (rotamers, tables/); empty: found (datadir.hpp)
  bool keep_existing = false;  // keep side chains complete in the input, pack the rest
  bool keep_cb = true;         // a CB in the input stays; false: every CB on ideal geometry
  packer::Params params;       // energy weights and search settings
  int repeat = 1;              // pack this many times (the same result), for timing in benchmarks
};

// Reads the model, packs, writes the output completely or not at all. InputError (nothing
// written) for an unreadable model, a missing rotamer library or side-chain geometry, or an
// output directory that does not exist. Warnings (residues lacking N, CA or C; names outside
// the twenty) go to the error stream, one line each.
void pack_structure(const PackOptions& opt);

// The rotamer library and side-chain geometry of a data directory, read once for many packings.
struct PackData {
  std::shared_ptr<const packer::RotamerLibrary> rotamers;
  std::shared_ptr<const packer::SideChainGeometry> geometry;
};
PackData read_pack_data(const std::string& data_dir);

// Packs a structure file held in memory (the side chains of its residues replaced).
struct PackSummary {
  int packed = 0, rotamers = 0, kept = 0;
};
PackSummary pack_file(StructureFile& file, const PackOptions& opt, const PackData& data);

// The rotamer library of a data directory (DIR/rotamers); InputError naming it when absent.
std::string rotamer_library_path(const std::string& data_dir);

int cmd_pack(const Args& args);

}  // namespace vorb::tools
