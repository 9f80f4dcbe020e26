// Subcommands of vorb-tools. Each takes the arguments after its name and returns the exit
// status (0 success, 2 bad input or usage).
#pragma once

#include <string>
#include <vector>

namespace vorb::tools {

using Args = std::vector<std::string>;

int cmd_hdd(const Args& args);     // topology file Hdd for a structure or a sequence
int cmd_tables(const Args& args);  // tables of the topology generator from real structures
int cmd_bbdat(const Args& args);  // backbone fragment library (bbdat.hpp)
int cmd_ca_trace(const Args& args);  // C-alpha trace of a structure, residues numbered 1..n
int cmd_score(const Args& args);     // accuracy of a built model against its native
int cmd_prep(const Args& args);      // archive file to the program's working files (prep.hpp)
int cmd_export(const Args& args);    // program model to standard PDB or mmCIF (export.hpp)
int cmd_rebuild(const Args& args);   // prep, VORB, export (rebuild.hpp)
int cmd_pack(const Args& args);      // new side chains for a model (pack.hpp)
int cmd_rotamers(const Args& args);  // rotamer library from real structures (rotamers.hpp)
int cmd_regularize(const Args& args);  // trace regulariser (trace_regularize.hpp)

}  // namespace vorb::tools
