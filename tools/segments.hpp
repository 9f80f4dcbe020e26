// What rebuild makes of a chain with breaks and of the atoms the program does not model: the
// runs of VORB a chain needs, the parts kept as they are in the input, and the model brought
// back into the input's frame.
#pragma once

#include <string>
#include <vector>

#include "export.hpp"
#include "io/file_set.hpp"
#include "prep.hpp"

namespace vorb::tools {

// How a chain with breaks is modelled. split: each segment between breaks on its own, one run
// each, no bond across a break. fill: the whole chain in one run, the program building the
// missing residues from a sequence (mode 31).
enum class GapPolicy { split, fill };

// Fewer residues than this cannot be modelled by the program.
inline constexpr std::size_t kMinSegment = 3;

// A part of a chain: residues [first, first + part.res.size()) of it, renumbered 1..n in part.
// A part too short to model is kept as it is in the input.
struct Segment {
  Prepared part;
  std::size_t first = 0;
  bool modelled = true;
};

// The parts of a prepared chain under the policy (split at Prepared::breaks, or one part).
std::vector<Segment> plan_segments(const Prepared& chain, GapPolicy policy);

// Lines for the user: the breaks and what was done about them; none for an unbroken chain.
std::vector<std::string> segment_messages(const Prepared& chain, const std::vector<Segment>& parts);

// The residues of a part as the input has them (names of the residues as modelled, B-factors).
std::vector<OutResidue> input_residues(const Prepared& part);

// The hetero groups of a chain, unchanged.
std::vector<OutResidue> hetero_residues(const Prepared& chain);

// The model of a run in dir (input.pdb.h, residues.tsv, input.pdb) as residues in the frame of
// input.pdb; `offset` receives the translation undone.
std::vector<OutResidue> run_model(const std::string& dir, std::array<double, 3>& offset);
// The same from a run in memory.
std::vector<OutResidue> run_model(const FileSet& run, std::array<double, 3>& offset);

// The chains of repeated --chain options, each a name or a comma-separated list.
std::vector<std::string> chain_list(const std::vector<std::string>& values);

}  // namespace vorb::tools
