#include "builders/completion_run.hpp"

#include <cmath>
#include <iostream>
#include <string>

#include "builders/backbone.hpp"
#include "builders/calpha.hpp"
#include "builders/sd_opt.hpp"
#include "io/aux_read.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/pdb_read.hpp"
#include "io/pdb_write.hpp"
#include "model/errors.hpp"
#include "model/modes.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

void say(const char* text) { message_stream() << (ffmt::ListWriter() << text).str() << '\n'; }

// The builders index neighbours two residues away and look residues up by type.
void check_chain(const ModelState& s) {
  if (s.nres < 3)
    throw InputError("Hdd", 0,
                     "the model has " + std::to_string(s.nres) +
                         " residue(s); building a model needs at least 3");
  for (int r = 1; r <= s.nres; ++r) {
    if (s.ityp(r) >= 1 && s.ityp(r) <= 20) continue;
    const int ca = s.ica(r);
    const std::string name = ca >= 1 && ca <= s.natom ? s.resd(ca).str() : std::string("?");
    throw InputError("Hdd", 0,
                     "residue " + std::to_string(r) + " \"" + name +
                         "\" is not one of the 20 standard types (or has no CA); it cannot be "
                         "built");
  }
}

// The builders address a residue's atoms by offset from its CA: N, CA, C, O, CB and the rest of
// the side chain (hra heavy atoms), then OXT in the last residue, then the amide H (none in the
// first residue and in prolines). A topology laid out otherwise would have them write over the
// wrong atoms, so it is rejected.
void check_layout(const ModelState& s) {
  auto in_residue = [&](int i, int r) { return i >= 1 && i <= s.natom && s.ress2(i) == r; };
  for (int r = 1; r <= s.nres; ++r) {
    const int t = s.ityp(r), ca = s.ica(r), nheavy = hra[std::size_t(t)];
    auto fail = [&](const std::string& what) {
      throw InputError("Hdd", 0,
                       "residue " + std::to_string(r) + " " + std::string(afn[std::size_t(t)]) +
                           ": " + what +
                           "; the building modes need its atoms in the order N, CA, C, O, the " +
                           std::to_string(nheavy - 4) +
                           " side-chain heavy atoms, then the hydrogens");
    };
    const char* const backbone[] = {" N  ", " CA ", " C  ", " O  ", " CB "};
    for (int k = 0; k < 5 && k < nheavy; ++k) {
      const int i = ca - 1 + k;
      if (!in_residue(i, r) || !(s.atom(i, 1) == backbone[k]))
        fail("atom " + std::to_string(k + 1) + " is not \"" + backbone[k] + "\"");
    }
    for (int i = ca - 1; i <= ca + nheavy - 2; ++i)
      if (!in_residue(i, r) || s.aty(i) == 'H')
        fail("it has fewer than " + std::to_string(nheavy) + " heavy atoms before its hydrogens");
    int next = ca + nheavy - 1;
    if (r == s.nres) {
      if (!in_residue(next, r) || s.aty(next) == 'H') fail("it has no OXT after its heavy atoms");
      ++next;
    }
    if (r > 1 && t != kPro && (!in_residue(next, r) || s.aty(next) != 'H'))
      fail("no amide hydrogen follows its heavy atoms");
  }
}

// Every C-alpha the builders work from must be there, except in mode "31", which builds the
// missing ones. Residues without one are counted in a warning; without any, nothing can be built.
void check_trace(const ModelState& s) {
  if (s.mode_is("31")) return;
  int missing = 0, first = 0;
  for (int r = 1; r <= s.nres; ++r)
    if (s.missing(s.ica(r)) && missing++ == 0) first = r;
  if (missing == s.nres)
    throw InputError(s.pdbfile, 0,
                     "every C-alpha atom is missing (residues must be numbered 1.." +
                         std::to_string(s.nres) +
                         " as in Hdd); nothing to build from (mode 31 builds missing C-alpha "
                         "atoms, but needs some)");
  if (missing > 0)
    message_stream() << (ffmt::ListWriter() << "WARNING!!!" << missing << "of" << s.nres
                                     << "residues have no C-alpha atom in the input, first residue"
                                     << first)
                     .str()
              << '\n';
}

// seq.dat: secondary-structure codes, the class of the protein and the weight of matched
// predicted hydrogen bonds.
void classify(ModelState& s) {
  bool opened = false;
  const int last = read_seq(s, opened);
  int nh = 0, ne = 0;
  for (int r = 1; r <= s.nres; ++r) {
    if (s.sscode(r) == 2) ++nh;
    if (s.sscode(r) == 4) ++ne;
  }
  const float t = 0.1f * float(s.nres);
  if (float(nh) > t && float(ne) < t) {
    s.ssclass = "aa";
    s.whbm = 1.0f;
  } else if (float(ne) > t && float(nh) < t) {
    s.ssclass = "bb";
    s.whbm = 0.67f;
  } else {
    s.ssclass = "ab";
    s.whbm = 1.0f;
  }
  if (!opened || last < s.nres)
    say("WARNING!! seq.dat is different to the structure, not use seq instead");
}

// Template, restraint weights by level and the three restraint files.
void template_and_restraints(ModelState& s, const std::string& level) {
  read_template(s);
  float cutoff;
  if (level == "hard") {
    s.wdistl = 0.5f;
    s.wdist = 2.7f;
    s.wcomb = 0.4f;
    cutoff = 0.1f;
  } else if (level == "medm") {
    s.wdistl = 1.0f;
    s.wdist = 4.05f;
    s.wcomb = 1.08f;
    cutoff = 0.2f;
  } else {
    s.wdistl = 0.45f;
    s.wdist = 3.6f;
    s.wcomb = 2.7f;
    cutoff = 0.3f;
  }
  read_restraints(s, cutoff);
  if (s.ndist + s.ndistl + s.ncomb > s.nres)
    s.irest = 1;
  else
    say("warning!!!, no ZEPHAL restraints used");
}

}  // namespace

void completion_run(ModelState& s) {
  check_chain(s);
  check_layout(s);
  check_trace(s);
  const bool templ = is_template_mode(s);

  if (s.mode_is("31")) ca_build(s);
  if (templ) classify(s);

  std::string level = read_level();
  if (level.empty()) level = "easy";

  if (s.libfile.empty() || !read_library(s) || s.nbbh < 1) {
    say("BBdat is not available, quit");
    throw EndRun{0};
  }

  s.itempl = 0;
  s.irest = 0;
  if (templ) template_and_restraints(s, level);

  s.nhbmatch = 0;
  s.nclash = 0;
  s.nbreak = 0;
  s.nhb = 0;
  s.wclash = std::sqrt(1.0f / float(s.nres));

  bbadd(s, 0);
  sd_opt(s);

  if (s.mode_is("23")) write_model(s, s.pdbfile + ".h", true);
}

}  // namespace vorb
