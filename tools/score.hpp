// Accuracy of a built model against the native structure it was built from.
//
// A model residue is compared with the native residue of the same number and insertion code
// (or, by order, the model's residue numbered r with the native's r-th residue in file order,
// as the topology generator and ca-trace number them) when their names agree. Coordinates are compared without
// superposition after removing the one translation that the program's lattice frame applies:
// the mean C-alpha offset of the matched residues. Symmetric side-chain atoms (ASP OD1/OD2,
// GLU OE1/OE2, ARG NH1/NH2, PHE and TYR CD1/CD2 with CE1/CE2) may be named either way: the
// side-chain RMSD takes, per residue, the smaller deviation of the two namings.
#pragma once

#include <string>

#include "geometry/vec3.hpp"
#include "structure.hpp"

namespace vorb::tools {

struct Score {
  int residues = 0;          // model residues matched to a native residue of the same name
  int mismatched = 0;        // model residues whose name differs from the native's
  Vec3 translation;          // mean model - native C-alpha offset, removed before comparing
  float ca_deviation = 0;    // largest C-alpha deviation left after removing it
  float rmsd_backbone = 0;   // N, C, O present in both
  int n_backbone = 0;
  float rmsd_sidechain = 0;  // heavy side-chain atoms (CB onward, no OXT) present in both
  int n_sidechain = 0;
  int n_swapped = 0;         // residues whose symmetric atoms matched the other way round
  int chi1_residues = 0;     // residues with chi1 in both
  int chi1_within = 0;       // ... whose chi1 agrees within 40 degrees
  int heavy_missing = 0;     // heavy atoms of the native's residues absent from the model
  int ca_clashes = 0, ca_breaks = 0;  // C-alpha pairs closer than 3.6 A (two or more apart),
  int native_ca_clashes = 0, native_ca_breaks = 0;  // neighbours farther than 4.2 A
  int heavy_clashes = 0;     // heavy-atom pairs closer than 3.0 A, more than three bonds apart
  int native_heavy_clashes = 0;
  int native_hbonds = 0;     // backbone hydrogen bonds of the native (electrostatic criterion)
  int hbonds_recovered = 0;  // ... also found in the model
};

enum class Matching { by_number, by_order };

// The default is by order, what callers that number models 1..n (traces, the tests) rely on.
Score score(const Chain& native, const Chain& model, Matching how = Matching::by_order);

// "name: value" lines, one figure each.
std::string format_score(const Score& s);

// What `vorb-tools score` prints for two files (chains named or the first protein chain of
// each; model_number empty for the first). InputError when fewer than half of the model's
// residues match.
std::string score_files(const std::string& native_path, const std::string& model_path,
                        const std::string& native_chain, const std::string& model_chain,
                        const std::string& model_number, Matching how);

}  // namespace vorb::tools
