// The rotamer library builder (vorb-tools rotamers) and its check on held-out chains.
//
// Each residue with side-chain torsions gives a sample: its type, backbone phi/psi (NaN at a
// chain end or break) and chis in the library's convention (packer/rotamers.hpp). A rotamer is
// a bin of every chi: the three staggered wells (centres 60, 180, -60) for sp3 torsions, 60
// degree bins centred at +-30 for the proline ring, and 30 degree bins for the terminal torsions
// of aromatic, amide and carboxyl groups. For every phi/psi cell the samples are weighted by a
// Gaussian kernel of the wrapped phi and psi distances to the cell centre; a cell whose weight
// is below a minimum widens its kernel (twice, four times), and every cell is blended with the
// backbone-independent distribution by a pseudo-count, so sparse cells answer with the coarser
// and finally the independent statistics. Centres are circular means and spreads circular
// standard deviations of each rotamer's samples (period 180 for folded torsions).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "commands.hpp"
#include "structure.hpp"

namespace vorb::tools {

struct ChiSample {
  int type = 0;                // index into the library's types (0 SER .. 17 TRP)
  float phi = 0, psi = 0;      // degrees; NaN when undefined
  std::array<float, 4> chi{};  // degrees, library convention
  std::size_t index = 0;       // residue index in the chain
};

// Backbone phi/psi (degrees) of residue i; NaN where a neighbour's peptide bond or an atom is
// missing.
std::pair<float, float> phi_psi(const Chain& c, std::size_t i);

// Samples of one chain; residues missing a chi atom are skipped (counted in skipped).
std::vector<ChiSample> chain_chi_samples(const Chain& c, int& skipped);

struct RotamerOptions {
  int cell = 15;             // phi/psi cell size, degrees (divides 360)
  float sigma = 5.0f;        // kernel width, degrees
  float min_weight = 25.0f;  // cell weight below which the kernel widens
  float prior = 4.0f;        // pseudo-count of the backbone-independent distribution
  int fine = 60;       // bin width of the terminal torsions of aromatic, amide, carboxyl groups
  float keep = 0.99f;  // rotamers kept per cell: the most probable ones covering this share
};

// The library file's lines (header, comment, records) from the samples.
std::vector<std::string> rotamer_library_lines(const std::vector<ChiSample>& samples,
                                               const RotamerOptions& opt);

// vorb-tools rotamers DIR... [-o FILE] [--cell C] [--sigma S] [--min W] [--prior A] [--keep F]
// vorb-tools rotamers --check LIB DIR... [--all | --train] [--backbone DIR]
int cmd_rotamers(const Args& args);

}  // namespace vorb::tools
