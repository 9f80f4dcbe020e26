// The common job in one command: prepare the protein chains of a PDB or mmCIF file, run VORB on
// each chain (each segment between chain breaks) in memory, and export the models together, in
// the input's frame and numbering, with the chains' hetero groups, side chains packed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.hpp"
#include "export.hpp"
#include "model/model_state.hpp"
#include "pack.hpp"
#include "prep.hpp"
#include "segments.hpp"
#include "trace_regularize.hpp"

namespace vorb::tools {

struct RebuildOptions {
  std::string input, output;
  std::string mode = "23";  // 1, 2, 23, 3, 31 or 4
  std::string templ;        // template structure (PDB or mmCIF), modes 3, 31, 4
  bool no_template = false; // modes 3, 31, 4 without a template (default: the input's trace)
  std::string workdir;      // directory keeping the runs' files; empty: none kept
  std::string data;         // data directory holding BBdat; empty: found (datadir.hpp)
  PrepOptions prep;         // prep.chain is ignored when chains is given
  std::vector<std::string> chains;  // chains to model; empty: every protein chain
  GapPolicy gaps = GapPolicy::split;
  std::string sequence;     // --sequence: a FASTA file or one-letter text; empty: none given
  bool sequence_is_letters = false;  // the sequence is one-letter text, never a file name
  RegularizeWhen regularize = RegularizeWhen::automatic;  // C-alpha traces only
  bool pack = true;         // repack VORB's side chains (pack.hpp); false: VORB's own ones
  std::optional<int> seed;  // VORB's random seed; none: its own
  std::string template_text;  // the template's content in place of reading templ (empty: read it)
};

// What the jobs read from the data directory, read once for any number of jobs.
struct RebuildData {
  std::string dir;    // the data directory
  std::string bbdat;  // its backbone library, by absolute path (the name VORB is given)
  std::shared_ptr<const BBLibrary> library;  // the library read; null in mode 1
  std::shared_ptr<const Tables> tables;
  PackData pack;      // empty when the jobs do not pack
};
RebuildData read_rebuild_data(const std::string& data_dir, const std::string& mode, bool pack);

struct RebuildResult {
  int status = 0;  // as rebuild() returns it; the rest is set only when 0
  std::string text;  // the model file (format from the output's name; PDB without one)
  ExportFormat format = ExportFormat::pdb;
  std::vector<OutResidue> unpacked;  // the model before packing
  std::vector<std::string> chains;   // labels of the chains modelled
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

// The whole job; returns the exit status: 0 with the model written, VORB's own non-zero status,
// 1 when VORB ended normally without writing a model (a stop of its own). When one of several
// runs fails, nothing is written.
// data: read from opt.data when null. Reports and warnings go through report.hpp.
int rebuild(const RebuildOptions& opt, const RebuildData* data = nullptr);

// The job without writing the output: the model's text. opt.output names only its format and
// title (PDB titled "model" when empty).
RebuildResult rebuild_text(const RebuildOptions& opt, const RebuildData* data = nullptr);

int cmd_rebuild(const Args& args);

}  // namespace vorb::tools
