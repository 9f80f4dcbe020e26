// The one shared state of a run.
//
// Every procedure of the program is a free function on a ModelState, reading and writing the
// fields below in place. Atoms (1..natom) and residues (1..nres) are indexed from 1; the
// coordinate sets also have slot 0 and three scratch slots natom+1..natom+3 that backbone
// completion uses for virtual chain-end atoms. A coordinate of 999.0 marks an atom that is not
// placed; presence is tested on x alone (x above 990.0 means missing).
//
// All tables are zero-initialised and lazily mapped (see table.hpp), so the state costs what a
// run uses. Allocate it on the heap: auto s = std::make_unique<ModelState>().
#pragma once

#include <array>
#include <memory>
#include <string>

#include "model/bb_table.hpp"
#include "model/capacity.hpp"
#include "model/fixed_str.hpp"
#include "model/table.hpp"

namespace vorb {

inline constexpr float kMissing = 999.0f;       // coordinate of an atom that is not placed
inline constexpr float kMissingTest = 990.0f;   // x above this means missing

// Private state of the random generator (shuffle table and second generator).
struct RandState {
  std::array<int, 33> iv{};  // iv(1..32); index 0 unused
  int iy = 0;
  int iseed2 = 123456789;
};

using Coord = Tab1<float, 0, kMaxAtoms>;   // per-atom coordinate set, slots 0..50000
using ResCoord = Tab1<float, 0, kMaxRes>;  // per-residue coordinate set (reference trace)
template <class T>
using AtomTab = Tab1<T, 1, kMaxAtoms>;
template <class T>
using ResTab = Tab1<T, 1, kMaxRes>;

// The backbone fragment library: what a run reads from its library file, and all that a run
// sharing another's library needs of it (a state of its own would be all the tables below).
struct BBLibrary {
  Tab2<float, kMaxBB, 6> bbcoord;  // N(i+1) and C(i) relative to CA(i), local frame
  int nbb = 0, nbbc = 0, nbbh = 0, nbbe = 0;
  BBTable bbdatc, bbdata, bbdatb;  // coil, helix and strand index tables
};

struct ModelState : BBLibrary {
  // ---- run settings -------------------------------------------------------------------------
  Name4 mode = Name4::from("");  // first argument, first 4 characters, blank-padded
  std::string pdbfile;            // argument 2: input structure (outputs are pdbfile + ".h"/".fix")
  std::string libfile;            // argument 3: backbone fragment library
  std::string tmplfile;           // argument 4: template structure
  int nargs = 0;                  // number of command-line arguments given
  int natom = 0;                  // model atoms (topology atoms)
  int nres = 0;                   // residues
  int npdb = 0;                   // input atoms read
  int nang = 0;                   // angle records read from Hdd
  int npot = 0;                   // hydrogen-bond statistics rows read from Hdd
  int margin = 30;                // lattice margin, cells
  int nlat = 330;                 // usable lattice extent, cells
  int nrange = 2;                 // half-width of the neighbour cell search
  int nocc = 0;                   // lattice cells recorded in nzr

  // ---- coordinates ---------------------------------------------------------------------------
  Coord xx, yy, zz;        // current model
  Coord xx0, yy0, zz0;     // input atoms in file order; afterwards scratch (start of a MC call)
  Coord bkxx, bkyy, bkzz;  // last accepted model
  Coord sxx, syy, szz;     // best-scoring model
  ResCoord bbkxx, bbkyy, bbkzz;  // reference C-alpha trace by residue
  ResTab<int> tmplres;           // 1 when the template file supplied residue r

  // ---- input atom list (j = 1..npdb, file order) ---------------------------------------------
  AtomTab<Name4> pdbatom;   // atom name, columns 13-16
  AtomTab<Name3> pdbresd;   // residue name, columns 18-20
  AtomTab<int> pdbress;     // residue number (renumbered outside the building modes)
  AtomTab<Text30> kfp;      // mode "1": columns 1-30 of the line, verbatim
  AtomTab<int> tkfpres;     // mode "1": residue number as written in the file

  // ---- atom table (i = 1..natom, topology order) ---------------------------------------------
  AtomTab<Name4> atomty;          // atom name in PDB columns 13-16 layout
  AtomTab<Name3> resd;            // residue name
  AtomTab<int> ress;              // residue index 1..nres
  AtomTab<char> aty;              // element letter: second character of the name
  AtomTab<int> assrd;             // 0 input, 1 placed by rule, 2 placed by fallback
  AtomTab<int> tkfp;              // input atom that supplied the coordinates, 0 if none
  Tab2<Name4, kMaxAtoms, 2> atom; // the two name fields of the topology record
  AtomTab<Name3> resd2;           // residue name of the topology record
  AtomTab<int> ress2;             // residue counter of the topology record
  Tab2<float, kMaxAtoms, 3> atmpar;  // per-atom parameters; column 3 is the atom radius
  AtomTab<int> atmhb;             // hydrogen-bond role: <= -1 donor hydrogen, > 0 acceptor
  Tab2<int, kMaxAtoms, 6> bonda;  // partners 1..4, count (5), non-hydrogen count (6)
  Tab2<float, kMaxAtoms, 8> bond; // per partner k: parameter (2k-1), length (2k)

  // ---- angle table (m = 1..nang, 45 per residue) ---------------------------------------------
  Tab2<int, kMaxAng, 3> anga;     // outer, centre, outer atom
  Tab2<float, kMaxAng, 4> ang;    // ang(m,2) is the equilibrium angle in degrees

  // ---- residue table (r = 1..nres) -----------------------------------------------------------
  ResTab<int> ica;                // atom index of the C-alpha
  ResTab<int> ityp;               // residue type 1..20 (table afn), 0 for other names
  ResTab<int> sscode;             // secondary-structure code: 2 helix, 4 strand, other coil
  ResTab<int> resfix;             // 0 free, 1 scaled moves, 2 frozen
  ResTab<float> dca2;             // squared C-alpha deviation from the reference
  ResTab<float> dca2start;        // dca2 after the first energy of a template run
  Tab2<float, kMaxRes, 4> phipsichi;  // phi, psi, chi1, chi2 in radians
  Tab2<int, kMaxRes, 4> seq2;     // secondary structure from torsions (column 1)
  ResTab<int> ifrag;              // fragment last used by backbone completion

  // ---- hydrogen-bond state -------------------------------------------------------------------
  int nhb = 0;
  Tab2<int, kMaxHb, 2> hbpair;    // donor heavy atom, acceptor atom
  Tab2<float, kMaxHb, 4> htbon;   // H..A distance, D-H..A angle, H..A-AB angle, energy
  float ehb = 0.0f;
  Tab2<float, kMaxPot, 4> hbpot;  // statistics from Hdd
  Tab1<float, 1, kRamaCells> ramah, ramae;  // helix and strand propensity per phi/psi cell
  int npredhb = 0;
  Tab2<int, kMaxPredHb, 3> reshbn;  // predicted bonds: donor N, acceptor O, type
  int hblok = 0;
  int nhbmatch = 0;

  // ---- restraints ----------------------------------------------------------------------------
  Tab2<int, kMaxRest, 2> rsd;
  Tab2<float, kMaxRest, 2> drsd;
  int ndist = 0;
  Tab2<int, kMaxRest, 2> rsdl;
  Tab1<float, 1, kMaxRest> drsdl;
  int ndistl = 0;
  Tab2<int, kMaxRest, 2> combsca;
  Tab1<float, 1, kMaxRest> pcombca;
  int ncomb = 0;
  float wdist = 0.0f, wdistl = 0.0f, wcomb = 0.0f;
  int irest = 0;
  float ecomb = 0.0f, edist = 0.0f, edistl = 0.0f;

  // ---- refinement scalars --------------------------------------------------------------------
  float etot = 0.0f, ecur = 0.0f, ebest = 0.0f, enew = 0.0f;
  int nhbbest = 0, nmatchbest = 0;
  float rmsd = 0.0f, rmsdbest = 0.0f;
  int icycle = 0;
  int itempl = 0;
  float wrmsd = 0.0f, whbm = 0.0f, wclash = 0.0f, wrest = 0.0f;
  float erest = 0.0f;
  float eclash = 0.0f;
  int nclash = 0, nbreak = 0;
  float gstep = 0.0f, cacut = 0.0f, cabond = 0.0f, pushf = 0.0f;
  Tab2<int, 3, 3> nmove;          // (kind, counter): kinds local, C-alpha pair, global
  int lmfail = 0;
  int icont = 0;
  Tab2<float, kMaxRes, 3> bvv;    // displacement field of the global move
  Tab2<float, kMaxRes, 3> bvv2;   // push field of the clash move
  ResTab<int> nviolres;           // violations per residue in the clash move
  std::string ssclass = "  ";     // "aa", "bb", "ab"; blank in modes "2" and "23"

  // ---- random generator ----------------------------------------------------------------------
  int iseed = 0;
  RandState rng;

  // ---- spatial lattice -----------------------------------------------------------------------
  Tab3<int, kLat> site;                  // head atom of each 2 A cell
  Tab2<int, kMaxAtoms, kSittCols> sitt;  // further atoms sharing the head's cell
  Tab2<int, kMaxAtoms + 16, 3> nzr;      // cells that received a head since the last clearing

  // ---- backbone fragment library (the BBLibrary base) ----------------------------------------
  // A library read elsewhere, used in place of this state's own tables (the counts are copied
  // from it): runs in one process read a library once.
  std::shared_ptr<const BBLibrary> library;
  const BBLibrary& lib() const { return library ? *library : *this; }

  // ---- helpers -------------------------------------------------------------------------------
  bool missing(int i) const { return xx(i) > kMissingTest; }
  bool placed(int i) const { return xx(i) <= kMissingTest; }
  bool mode_is(const char* m) const { return mode == m; }
};

}  // namespace vorb
