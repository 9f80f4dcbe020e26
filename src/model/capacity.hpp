// Fixed capacities of the model tables. Filling past one is rejected with a CapacityError.
#pragma once

namespace vorb {

inline constexpr int kMaxAtoms = 50000;      // per-atom tables; coordinates have slots 0..kMaxAtoms
inline constexpr int kScratchSlots = 3;      // natom+1..natom+3 hold virtual chain-end atoms
inline constexpr int kMaxModelAtoms = kMaxAtoms - kScratchSlots;
inline constexpr int kMaxRes = 3000;         // per-residue tables
inline constexpr int kMaxHb = 3000;          // hydrogen bonds found (hbpair, htbon)
inline constexpr int kMaxPredHb = 3000;      // predicted hydrogen bonds (reshbn)
inline constexpr int kAngPerRes = 45;        // angle records per residue block
// Angle records (anga, ang): one block of 45 for every residue the tables can hold.
inline constexpr int kMaxAng = kMaxRes * kAngPerRes;
inline constexpr int kMaxPot = 80;           // hydrogen-bond statistics rows (hbpot)
inline constexpr int kRamaCells = 1369;      // 37 x 37 phi/psi cells
inline constexpr int kMaxBB = 70000;         // backbone library records
inline constexpr int kMaxRest = 50000;       // rows per restraint file
inline constexpr int kLat = 360;             // lattice cells per axis
inline constexpr int kSittCols = 10;         // further atoms listed per lattice head

}  // namespace vorb
