// Preparation of a structure from the archive or a predictor for the program: one model, one
// protein chain, standard residues only (MSE becomes MET, other modified residues with a standard
// parent become the parent), residues renumbered 1..n, and the files the program reads from its
// working directory.
//
// Files written into the target directory:
//   input.pdb     ATOM records in fixed columns (name 13-16, residue 18-20, number 23-26,
//                 x y z 31-54, occupancy, B, element), then TER and END
//   Hdd           the topology of the chain's sequence
//   seq.dat       per residue "(I5,3x,A3,1x,I4,1x,I4)": number, name, 1 coil / 2 helix /
//                 4 strand, 9; only when every residue has N, CA, C and O
//   residues.tsv  new number, residue name, original chain, number and insertion code ("."
//                 for none), the residue name in the input
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "commands.hpp"
#include "structure.hpp"
#include "tables.hpp"

namespace vorb::tools {

struct PrepOptions {
  std::string chain;  // author chain name (" " for a blank one); empty: the first protein chain
  std::string model;  // model number as written in the file; empty: the first model
  bool ca_only = false;  // keep only the C-alpha atoms (a trace for the building modes)
  bool hetero = false;   // keep the chain's hetero groups (Prepared::hetero) instead of dropping them
  std::string text;      // the file's content, read in place of the file when not empty
};

// An atom of a hetero group, as read.
struct HetAtom {
  std::string name, element;
  char altloc = ' ';
  float occ = 1.0f, b = 0.0f;
  signed char charge = 0;
  std::array<double, 3> pos{};
};

// A hetero group (ligand, ion, water) of a chain, kept to be copied into the output unchanged.
struct HetGroup {
  std::string name, chain;
  int num = 0;
  char icode = ' ';
  bool water = false;
  std::vector<HetAtom> atoms;
};

struct PrepResidue {
  Residue res;              // name MET for MSE, num = new number 1..n, 4-column atom names
  std::string chain;        // original chain
  int num = 0;              // original number
  char icode = ' ';         // original insertion code
  std::string input_name;   // residue name in the input (MSE, HYP, ...)
  std::vector<std::array<double, 3>> pos;  // per atom of res.atoms, as read
  std::vector<float> b;                    // B-factor per atom of res.atoms
};

// A count with the first few examples, for the report.
struct Tally {
  int count = 0;
  std::vector<std::string> examples;
  void add(const std::string& example, int n = 1);
  std::string text() const;  // "3 (a, b, c)" or "12 (a, b, c, d, e, ...)"
};

// What the preparation changed, for the report.
struct PrepNotes {
  std::string model;
  std::vector<std::string> other_chains;  // chains of the model not taken
  int other_models = 0;
  int waters = 0;                         // water residues dropped
  std::map<std::string, int> hetero;      // hetero groups dropped, by name
  int mse = 0;                            // MSE residues made MET
  std::vector<std::string> modified;      // other modified residues made their parent ("HYP A 12 as PRO")
  int hydrogens = 0;                      // hydrogen atoms dropped
  int altloc = 0;                         // atoms of alternate locations other than A
  int duplicates = 0;                     // repeated atom names within a residue
  Tally unknown_atoms;                    // atoms no residue template has ("LYS A 12: XX")
  Tally empty_residues;                   // residues left without any atom
  Tally missing;                          // absent heavy atoms ("LYS A 12: CD CE NZ")
  Tally breaks;                           // chain breaks ("A 10 / A 15")
};

struct Prepared {
  std::string source;
  std::string chain;
  std::vector<PrepResidue> res;
  PrepNotes notes;
  bool ca_only = false;
  std::vector<std::size_t> breaks;  // k: the chain is broken between res[k - 1] and res[k]
  std::vector<HetGroup> hetero;     // with PrepOptions::hetero: the chain's hetero groups
  bool hetero_kept = false;         // PrepOptions::hetero was given

  // Every residue has N, CA, C and O.
  bool backbone_complete() const;
  // The chain as the tools' analyses take it (new numbering).
  Chain chain_view() const;
};

// Reads a PDB or mmCIF file (gzipped or not) and prepares it. InputError, naming the file and
// what is wrong, when the file cannot be read, has no protein chain, lacks the chain or model
// asked for, the chain has fewer than three residues, or residues of the chain are neither
// standard amino acids nor modified ones with a standard L parent in gemmi's residue table (all
// such residues are named).
Prepared prepare_structure(const std::string& path, const PrepOptions& opt);

// The same for several chains of the model, read once, in the file's order: the chains named
// (" " for a blank one), or every protein chain of the model when `chains` is empty. Chains found by that default may
// have fewer than three residues; named ones may not.
std::vector<Prepared> prepare_chains(const std::string& path, const PrepOptions& opt,
                                     const std::vector<std::string>& chains);

// The checks and notes that need only the residues taken: numbers 1..n, OXT kept on the last
// residue only, missing heavy atoms, chain breaks (C-N above 2.0 A, or CA-CA above 4.2 A where
// C or N is absent), and the three-residue minimum (InputError naming the file) unless
// allow_short.
void finish_prepared(Prepared& p, bool allow_short = false);

// A chain name as messages show it: "A", or "' '" for a blank one.
std::string chain_label(const std::string& chain);

// Label of a residue in the original numbering: "LYS A 12", "GLY A 52B".
// The chain breaks of the residues taken, as finish_prepared finds them (again after their
// positions change, as when a trace is regularised): breaks and notes.breaks.
void find_breaks(Prepared& p);

std::string original_label(const PrepResidue& r);

// The records of input.pdb and the lines of residues.tsv and seq.dat.
std::vector<std::string> input_pdb_lines(const Prepared& p);
std::vector<std::string> residue_map_lines(const Prepared& p);
std::vector<std::string> seq_dat_lines(const Prepared& p);

// The files of a prepared chain, by name: input.pdb, Hdd, residues.tsv and (complete backbone
// only) seq.dat.
struct PreparedFile {
  std::string name;
  std::vector<std::string> lines;
};
std::vector<PreparedFile> prepared_files(const Prepared& p, const Tables& t);

// Writes input.pdb, Hdd, residues.tsv and, when the backbone is complete, seq.dat into dir
// (created when missing); an older seq.dat that no longer applies is removed. Nothing is
// written when the topology cannot be built.
void write_prepared(const Prepared& p, const Tables& t, const std::string& dir);

// The short report: what was taken and what changed.
std::vector<std::string> prep_report(const Prepared& p);

int cmd_prep(const Args& args);

}  // namespace vorb::tools
