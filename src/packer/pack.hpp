// Side-chain packing on a fixed backbone: rotamers from the library, an energy of rotamer
// probability, soft pairwise repulsion and attraction, hydrogen bonds and disulfides, and a
// deterministic search. Backbone atoms and every atom not packed stay where they are.
#pragma once

#include <string>
#include <vector>

#include "geometry/vec3.hpp"
#include "packer/rotamers.hpp"
#include "packer/sidechain_geometry.hpp"

namespace vorb::packer {

struct Atom {
  std::string name;  // PDB name without blanks
  char element = 'C';  // 'H' atoms are ignored by the energy
  Vec3 p;
};

struct Residue {
  std::string name;  // three-letter name
  bool pack = false;  // choose its side chain (needs N, CA and C among atoms)
  // The atoms that stay: everything of a residue not packed, the backbone (and CB, when it is
  // to be kept) of one that is.
  std::vector<Atom> atoms;
};

struct Params {
  // Defaults tuned on training chains (bench/pack_bench.py --set train). With the pair-move
  // search, eps_lj 0.3 and w_rot 1.8 (were 0.15 and 1.5) raised chi1 of the repacked natives
  // from 0.845 to 0.852 and left the packed rebuild models at 0.764 (0.765), side-chain RMSD
  // 1.71 A (1.72); eps_lj 0.25 or 0.3 alone gave 0.853 to 0.855 on the natives but 0.761 on
  // the rebuild models.
  float w_rot = 1.8f;      // per -ln(p / p_best) of the rotamer
  float w_rep = 1.0f;      // soft Lennard-Jones-like term (well depth eps_lj)
  float eps_lj = 0.3f;
  float radius_scale = 1.2f;   // LJ minimum at this times the sum of the van der Waals radii
  // Steep penalty per 0.1 A of a pair other than donor-acceptor inside clash_scale times the
  // sum of the radii (C-C 3.23 A). Off: on training chains a weight of 1 removed about 5 % of
  // the pairs below 3.0 A and cost 0.006 of chi1 accuracy.
  float w_clash = 0.0f;
  float clash_scale = 0.95f;
  // Hydrogen bonds: full from 2.95 A with the LJ minimum at 3.1 A (were 2.6 and 2.75): on
  // training chains as accurate, with fewer donor-acceptor pairs below 3.0 A.
  float w_hb = 0.5f;       // per hydrogen bond (donor-acceptor hb_lo to hb_hi A, fading by
  float hb_lo = 2.95f, hb_hi = 3.25f;  // 0.3 A below and 0.4 A above)
  float hb_r0 = 3.1f;      // LJ minimum of a donor-acceptor pair
  float w_ss = 3.0f;       // per disulfide (SG-SG near 2.04 A)
  // Pair terms of the side chain with its own residue's N, C and O (more than three bonds
  // apart); intra_hb: hydrogen bonds among them too. On training chains the terms took 15 of
  // 188 pairs below 3.0 A away (chi1 0.002 lower, side-chain RMSD 0.03 A better).
  bool intra = true;
  bool intra_hb = false;
  float expand_prob = 0.2f;    // rotamers at least this likely are expanded by +-1 sd
  // Rotamers whose self energy is this far above the best are dropped (14 before the
  // refinement; 10 as accurate on training chains and a third fewer pairs of candidates).
  float prune = 10.0f;
  // Search: iterated conditional modes (ICM), then up to pair_passes passes of pair moves
  // (both sites of each interacting pair chosen together, ICM again after each), which find
  // lower energies than ICM from many starts: on 36 training chains the repacked natives' summed
  // energy -2618 against -2537 with ICM and 8 restarts (-2627 with 300 restarts), chi1 0.842 to
  // 0.845, for about the time of the 8 restarts. Extra searches from perturbed starts
  // (restarts) then gain little: 2 gave 0.846 at a fifth more packing time.
  int pair_passes = 10;
  int restarts = 0;
  // Refinement after the search: torsions moved up to fine_max degrees off the library
  // centre (0: none), contacts of non-bonding pairs inside max(clash_limit, clash_scale x the
  // sum of the radii) penalised by w_fine_clash per 0.1 A.
  // On training chains 30 and 3 halved the side chains' pairs below 3.0 A other than hydrogen
  // bonds and removed those below 2.0 A, chi1 unchanged.
  float fine_max = 30.0f;
  float w_fine_clash = 3.0f;
  float clash_limit = 3.15f;
  // Donor-acceptor pairs inside hb_limit penalised the same way (0: never); on training
  // chains 3.0 removed a sixth of the pairs below 3.0 A, chi1 unchanged.
  float hb_limit = 3.0f;
};

struct Result {
  std::vector<std::vector<Atom>> side;  // per residue: CB onward for a packed one, else empty
  double energy = 0;
  int rotamers = 0;  // candidates kept after pruning
};

// residues in file order (chains one after another); others: hetero atoms and anything else
// that only acts as an obstacle.
Result pack(const std::vector<Residue>& residues, const std::vector<Atom>& others,
            const RotamerLibrary& lib, const SideChainGeometry& geo, const Params& par = {});

}  // namespace vorb::packer
