// The backbone fragment library builder (vorb-tools bbdat) and its rebuild check.
//
// A fragment is one residue i of a real chain: the key of its local C-alpha geometry (bb_key,
// with the same virtual chain-end atoms backbone completion uses), its residue type, its class
// and the positions of N(i+1) and C(i) relative to CA(i) in the local frame. Fragments are
// grouped into cells (key, type) per class table; each cell keeps up to ten, ordered by their
// distance to the cell's mean geometry, so slot 1 is the most typical one.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "commands.hpp"
#include "structure.hpp"

namespace vorb::tools {

struct Fragment {
  int cls = 1;                 // 1 coil, 2 helix, 4 strand
  std::array<int, 5> b{};      // key bins b1..b5
  int type = 0;                // 1..20
  std::array<float, 6> v{};    // N(i+1) then C(i), relative to CA(i) in the frame
};

// Why residues gave no fragment.
struct ExtractStats {
  int residues = 0;    // residues of the C-alpha trace
  int fragments = 0;
  int broken = 0;      // window crosses a C-alpha gap above 4.2 A or a missing peptide bond
  int incomplete = 0;  // C(i), N(i+1) (or O(i) at the chain end) absent
  int no_frame = 0;    // undefined frame
  int out_of_band = 0; // N(i+1) outside 2.1..2.7 A or C(i) outside 1.3..1.7 A from CA(i)
};

// The C-alpha trace backbone completion sees: residues with a CA and a standard type, as
// indices into c.res.
std::vector<std::size_t> trace_of(const Chain& c);

// Fragments of one chain; codes gives the class (1, 2, 4) of each residue of c.res. The last
// residue's N(i+1) is virtual: 1.33 A from C, opposite the bisector of C->CA and C->O.
std::vector<Fragment> chain_fragments(const Chain& c, const std::vector<int>& codes,
                                      ExtractStats& st);

struct LibRecord {
  int cls = 1;   // class column of the file: 1 coil, 2 helix, 3 strand
  std::array<int, 5> b{};
  int type = 0;
  int slot = 0;
  std::array<float, 6> v{};
};

struct Library {
  std::vector<LibRecord> coil, helix, strand;  // each ordered by cell, then slot
  std::size_t size() const { return coil.size() + helix.size() + strand.size(); }
};

struct BuildOptions {
  bool generic_coil = true;  // the coil table holds fragments of every class
  int max_records = 70000;
  int slots = 10;
};

// Cells and slots from the fragments. Above max_records the highest slots are dropped first
// (slot 10 of every table, then 9, ...; within a slot coil before helix before strand, last
// cells first), so every cell keeps its slot 1 while the cap allows.
Library build_library(const std::vector<Fragment>& frags, const BuildOptions& opt);

// The library file: header "nbb nbbc nbbh nbbe", then one fixed-column record per fragment.
void write_library(const Library& lib, const std::string& path);

// Class codes of every residue of c.res from the DSSP-style assignment.
std::vector<int> chain_codes(const Chain& c);

// vorb-tools bbdat DIR... [-o FILE] [--coil generic|coil]
// vorb-tools bbdat --rebuild LIB DIR... [--classes coil|dssp]
int cmd_bbdat(const Args& args);
int cmd_bbdat_rebuild(const Args& args);

}  // namespace vorb::tools
