// Constant residue tables shared by every module.
#pragma once

#include <array>
#include <string_view>

namespace vorb {

// Residue names in type order 1..20 (table afn); type 0 is any other name.
inline constexpr std::array<std::string_view, 21> afn = {
    "???", "GLY", "ALA", "SER", "CYS", "VAL", "THR", "ILE", "PRO", "MET", "ASP",
    "ASN", "LEU", "LYS", "GLU", "GLN", "ARG", "HIS", "PHE", "TYR", "TRP"};

// One-letter codes in the same order.
inline constexpr std::string_view kOneLetter = "?GASCVTIPMDNLKEQRHFYW";

// Heavy atoms per residue type (N, CA, C, O and the side chain), indexed by type 1..20.
inline constexpr std::array<int, 21> hra = {0, 4, 5, 6, 6, 7, 7, 8, 7, 8, 8,
                                            8, 8, 9, 9, 9, 11, 10, 11, 12, 14};

inline constexpr int kGly = 1, kAla = 2, kSer = 3, kCys = 4, kVal = 5, kThr = 6, kIle = 7,
                     kPro = 8, kMet = 9, kAsp = 10, kAsn = 11, kLeu = 12, kLys = 13, kGlu = 14,
                     kGln = 15, kArg = 16, kHis = 17, kPhe = 18, kTyr = 19, kTrp = 20;

// Residue type 1..20 of a three-letter name, 0 when it is none of the twenty.
inline int residue_type(std::string_view name3) {
  for (int t = 1; t <= 20; ++t)
    if (afn[std::size_t(t)] == name3) return t;
  return 0;
}

// Residue type of a one-letter code, 0 when unknown.
inline int residue_type_1(char c) {
  for (int t = 1; t <= 20; ++t)
    if (kOneLetter[std::size_t(t)] == c) return t;
  return 0;
}

}  // namespace vorb
