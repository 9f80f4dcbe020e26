// Analysis branches: torsion runs (modes "7", "8") and the hydrogen-bond analysis run.
#pragma once

#include <string>

#include "model/model_state.hpp"

namespace vorb {

// Modes "7" and "8": torsions (and secondary structure) of the input atoms.
void torsion_run(ModelState& s);

// Modes "5", "6", "66" and any unrecognised mode text: side-chain heavy atoms, hydrogens,
// lattice, hydrogen bonds; then the listing (mode "5") or the restraint run ("6", "66").
void hbond_analysis_run(ModelState& s);

// The hydrogen-bond listing of mode "5" on standard output: header, one line per bond found by
// the last hbonds call, and the summary with nhb and ehb.
void print_hbond_listing(const ModelState& s);

// Line h of the listing.
std::string hbond_listing_line(const ModelState& s, int h);

}  // namespace vorb
