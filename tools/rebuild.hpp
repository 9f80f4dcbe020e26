// The common job in one command: prepare a PDB or mmCIF chain, run VORB on it in a working
// directory of its own, and export the model with the original numbering.
#pragma once

#include <string>
#include <vector>

#include "commands.hpp"
#include "prep.hpp"

namespace vorb::tools {

struct RebuildOptions {
  std::string input, output;
  std::string mode = "23";  // 1, 2, 23, 3, 31 or 4
  std::string templ;        // template structure (PDB or mmCIF), modes 3, 31, 4
  std::string workdir;      // kept working directory; empty: a temporary one, removed after
  std::string data;         // data directory holding BBdat; empty: found (datadir.hpp)
  bool pack = true;         // repack VORB's side chains (pack.hpp); false: VORB's own ones
  PrepOptions prep;
};

// CA records of the template numbered like the prepared model: a template residue takes the
// number of the model residue with its original number and insertion code (chains aside; of
// template residues sharing a number the first counts). `matched` counts them; InputError when
// none matches.
std::vector<std::string> template_lines(const Prepared& model, const Prepared& templ,
                                        int& matched);

// Runs an executable with arguments in directory dir, its streams those of this process.
// Returns its exit status, 128 + the signal when a signal ended it, 127 when it cannot start.
int run_in_dir(const std::string& exe, const std::vector<std::string>& args,
               const std::string& dir);

// The whole job; returns the exit status: 0 with the model written, VORB's own non-zero status,
// 1 when VORB ended normally without writing a model (a stop of its own).
int rebuild(const RebuildOptions& opt);

int cmd_rebuild(const Args& args);

}  // namespace vorb::tools
