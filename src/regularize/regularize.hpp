// Regularisation of a C-alpha trace from a coarse model: the C-alpha atoms move as little as
// the method allows so that bonded neighbours are one C-alpha step apart and no other two atoms
// come closer than the minimum separation. Used by the tools only; standard library only.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vorb::regularize {

using Point = std::array<double, 3>;

// One residue of the chain in chain order.
struct TraceResidue {
  Point ca{0, 0, 0};
  bool present = true;   // has a C-alpha atom; absent residues are left alone
  int number = 0;        // residue number; consecutive numbers are neighbours in the chain
  bool proline = false;  // a short step before a proline is a cis peptide and is kept
};

struct Settings {
  double step = 3.8;         // distance of bonded neighbours
  double separation = 4.0;   // least distance of any other pair
  double cis_below = 3.35;   // a step before a proline shorter than this keeps its length
  double break_above = 6.5;  // a step longer than this is a chain break: no bond
  double tolerance = 0.002;  // accepted violation when the iterations stop
  int max_sweeps = 500;
  // Criteria of the automatic mode: steps outside lo..hi and other pairs closer than near,
  // together at least auto_share of the bonds (and at least one). A native trace has a few such
  // steps or pairs of its own, a noisy one has them at most residues.
  double auto_lo = 3.6, auto_hi = 4.0, auto_near = 3.8, auto_share = 0.1;
};

// The bond kinds between residue k and k + 1.
enum class Link { none, bond, kept };

// Links between neighbours: a bond when both are present, numbered consecutively and no
// farther apart than break_above; kept when that bond precedes a proline and is shorter than
// cis_below (its length stays as it is).
std::vector<Link> links(const std::vector<TraceResidue>& chain, const Settings& set = {});

struct Counts {
  int steps_off = 0;    // bonds outside step +- 0.2 (kept bonds excluded)
  int close_pairs = 0;  // other pairs closer than the separation
};

struct Report {
  Counts before, after;
  int sweeps = 0;
  bool converged = false;
  double max_move = 0, rms_move = 0;  // displacements of the present C-alpha atoms
  std::string text() const;           // one line for the user
};

Counts count(const std::vector<TraceResidue>& chain, const std::vector<Link>& link,
             const Settings& set = {});

// The criterion of the automatic mode (Settings: auto_lo, auto_hi, auto_near, auto_share).
bool needs_regularizing(const std::vector<TraceResidue>& chain, const Settings& set = {});

// Moves the present C-alpha atoms: projections onto the violated constraints in chain order,
// repeated until every bond is within tolerance of its length and every other pair at least
// separation - tolerance apart, or max_sweeps. Deterministic: the same input gives the same
// output.
Report regularize(std::vector<TraceResidue>& chain, const Settings& set = {});

}  // namespace vorb::regularize
