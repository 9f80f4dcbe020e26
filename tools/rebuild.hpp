// The common job in one command: prepare the protein chains of a PDB or mmCIF file, run VORB on
// each chain (each segment between chain breaks) in a working directory of its own, and export
// the models together, in the input's frame and numbering, with the chains' hetero groups.
#pragma once

#include <string>
#include <vector>

#include "commands.hpp"
#include "prep.hpp"
#include "segments.hpp"
#include "trace_regularize.hpp"

namespace vorb::tools {

struct RebuildOptions {
  std::string input, output;
  std::string mode = "23";  // 1, 2, 23, 3, 31 or 4
  std::string templ;        // template structure (PDB or mmCIF), modes 3, 31, 4
  bool no_template = false; // modes 3, 31, 4 without a template (default: the input's trace)
  std::string workdir;      // kept working directory; empty: a temporary one, removed after
  std::string data;         // data directory holding BBdat; empty: found (datadir.hpp)
  PrepOptions prep;         // prep.chain is ignored when chains is given
  std::vector<std::string> chains;  // chains to model; empty: every protein chain
  GapPolicy gaps = GapPolicy::split;
  std::string sequence;     // --sequence: a FASTA file or one-letter text; empty: none given
  RegularizeWhen regularize = RegularizeWhen::automatic;  // C-alpha traces only
  bool pack = true;         // repack VORB's side chains (pack.hpp); false: VORB's own ones
};

// Whether the refinement modes (3, 31, 4) take the input's own C-alpha atoms as the template:
// when no --template names another and --no-template is not given.
bool uses_own_template(const RebuildOptions& opt);

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
// 1 when VORB ended normally without writing a model (a stop of its own). When one of several
// runs fails, nothing is written.
int rebuild(const RebuildOptions& opt);

int cmd_rebuild(const Args& args);

}  // namespace vorb::tools
