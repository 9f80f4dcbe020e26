#include "packer/rotamers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::packer {
namespace {

const char* const kAll[] = {"SER", "CYS", "VAL", "THR", "ILE", "PRO", "MET", "ASP", "ASN",
                            "LEU", "LYS", "GLU", "GLN", "ARG", "HIS", "PHE", "TYR", "TRP"};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One record of the residue type with every chi of the record at chi and spread 10 (cell
// records of types with more than two torsions hold chi1 and chi2).
std::string rec(const std::string& res, const std::string& cell, const std::string& prob,
                const std::string& chi) {
  std::string s = res + " " + cell + " " + prob;
  for (int k = 0; k < std::min(RotamerLibrary::nchi(res), 2); ++k) s += " " + chi + " 10";
  return s + "\n";
}

// A complete library of 180 degree cells: every type has one independent rotamer and every
// cell answers with it, except the cells of type filled listed in ser_cells
// ("|phi psi|phi psi|"), which extra fills.
std::string library(const std::string& extra, const std::string& ser_cells = "",
                    const std::string& filled = "SER") {
  std::string t = "rotamers cell 180\n# comment\n";
  for (const char* r : kAll) {
    t += rec(r, "all all", "1.0", "-60");
    if (RotamerLibrary::nchi(r) > 2)
      t += std::string(r) + " given -60 -60 1" +
           (RotamerLibrary::nchi(r) == 4 ? " -60 10 -60 10\n" : " -60 10\n");
    for (const char* c : {"-180 -180", "-180 0", "0 -180", "0 0"})
      if (std::string(r) != filled ||
          ser_cells.find("|" + std::string(c) + "|") == std::string::npos)
        t += std::string(r) + " " + c + " all\n";
  }
  return t + extra;
}

RotamerLibrary parse(const std::string& text) {
  std::istringstream in(text);
  return RotamerLibrary::read_stream(in, "rot.lib");
}

std::string error_of(const std::string& text) {
  try {
    parse(text);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(RotamerLibrary, TorsionCountsAndConventions) {
  EXPECT_EQ(RotamerLibrary::nchi("SER"), 1);
  EXPECT_EQ(RotamerLibrary::nchi("PRO"), 2);
  EXPECT_EQ(RotamerLibrary::nchi("MET"), 3);
  EXPECT_EQ(RotamerLibrary::nchi("ARG"), 4);
  EXPECT_EQ(RotamerLibrary::nchi("LYS"), 4);
  EXPECT_EQ(RotamerLibrary::nchi("GLY"), 0);
  EXPECT_EQ(RotamerLibrary::nchi("ALA"), 0);
  EXPECT_EQ(RotamerLibrary::nchi("MSE"), -1);
  EXPECT_EQ(chi_atoms("VAL", 1)[3], " CG1");
  EXPECT_EQ(chi_atoms("ILE", 2)[3], " CD1");
  EXPECT_EQ(chi_atoms("LYS", 4)[3], " NZ ");
  EXPECT_EQ(chi_atoms("ARG", 4)[0], " CG ");
  EXPECT_EQ(chi_atoms("ARG", 4)[3], " CZ ");
  EXPECT_EQ(chi_atoms("MET", 3)[2], " SD ");
  EXPECT_EQ(chi_atoms("SER", 2)[0], "");
  EXPECT_TRUE(chi_folded("PHE", 2) && chi_folded("TYR", 2) && chi_folded("ASP", 2) &&
              chi_folded("GLU", 3));
  EXPECT_FALSE(chi_folded("HIS", 2) || chi_folded("ASN", 2) || chi_folded("GLN", 3) ||
               chi_folded("PHE", 1));
  // Either naming of a symmetric group gives the same value, inside [-90, 90).
  EXPECT_FLOAT_EQ(chi_convention(95.0f, true), -85.0f);
  EXPECT_FLOAT_EQ(chi_convention(-85.0f, true), -85.0f);
  EXPECT_FLOAT_EQ(chi_convention(90.0f, true), -90.0f);
  EXPECT_FLOAT_EQ(chi_convention(-90.0f, true), -90.0f);
  EXPECT_FLOAT_EQ(chi_convention(-95.0f, true), 85.0f);
  EXPECT_FLOAT_EQ(chi_convention(-180.0f, false), 180.0f);
  EXPECT_FLOAT_EQ(chi_convention(190.0f, false), -170.0f);
}

TEST(RotamerLibrary, LookupByCellWithWrapAroundAndChainEnds) {
  RotamerLibrary lib =
      parse(library(rec("SER", "-180 -180", "0.2", "180") + rec("SER", "-180 -180", "0.8", "60") +
                        rec("SER", "-180 0", "1", "-170") + rec("SER", "0 -180", "0.5", "170") +
                        rec("SER", "0 -180", "0.49", "70"),
                    "|-180 -180|-180 0|0 -180|"));
  EXPECT_EQ(lib.cell_size(), 180);
  auto top = [&](float phi, float psi) { return lib.lookup("SER", phi, psi)[0].chi[0]; };
  // Sorted by decreasing probability; the cell of phi -180..0, psi -180..0.
  auto a = lib.lookup("SER", -60.0f, -40.0f);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_FLOAT_EQ(a[0].chi[0], 60.0f);
  EXPECT_FLOAT_EQ(a[0].prob, 0.8f);
  EXPECT_FLOAT_EQ(a[1].prob, 0.2f);
  EXPECT_FLOAT_EQ(a[0].sd[0], 10.0f);
  // +180 is -180; angles beyond a turn wrap.
  EXPECT_FLOAT_EQ(top(180.0f, 180.0f), 60.0f);
  EXPECT_FLOAT_EQ(top(-180.0f, 0.0f), -170.0f);
  EXPECT_FLOAT_EQ(top(179.9f, -1.0f), 170.0f);
  EXPECT_FLOAT_EQ(top(-540.0f, 359.0f), 60.0f);
  // A cell whose probabilities sum to 0.99 is renormalised.
  auto c = lib.lookup("SER", 10.0f, -10.0f);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NEAR(c[0].prob + c[1].prob, 1.0f, 1e-6f);
  // Chain ends (NaN or infinite torsions) and "all" cells answer with the independent
  // distribution.
  for (auto [phi, psi] : {std::pair{kNaN, 10.0f},
                          {10.0f, kNaN},
                          {10.0f, 10.0f},
                          {std::numeric_limits<float>::infinity(), 10.0f}}) {
    auto r = lib.lookup("SER", phi, psi);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_FLOAT_EQ(r[0].chi[0], -60.0f);
  }
  auto lys = lib.lookup("LYS", -60.0f, 140.0f);
  ASSERT_EQ(lys.size(), 1u);
  EXPECT_FLOAT_EQ(lys[0].chi[3], -60.0f);
  EXPECT_TRUE(lib.lookup("GLY", 0.0f, 0.0f).empty());
  EXPECT_TRUE(lib.lookup("ALA", kNaN, kNaN).empty());
  EXPECT_TRUE(lib.lookup("XYZ", 0.0f, 0.0f).empty());
}

TEST(RotamerLibrary, FactorisedTypesCombineCoresWithTheTailsOfTheirWells) {
  // LYS at cell (0, 0): core (-60, 180) 0.75 and (60, 60) 0.25; tails given the wells.
  RotamerLibrary lib =
      parse(library("LYS 0 0 0.75 -65 10 175 11\nLYS 0 0 0.25 62 9 58 8\n"
                    "LYS given -60 180 0.6 178 12 -179 13\nLYS given -60 180 0.4 -68 14 179 15\n"
                    "LYS given 60 60 1 -70 16 -175 17\n",
                    "|0 0|", "LYS"));
  auto r = lib.lookup("LYS", 10.0f, 10.0f);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_NEAR(r[0].prob, 0.45f, 1e-6f);
  EXPECT_NEAR(r[1].prob, 0.30f, 1e-6f);
  EXPECT_NEAR(r[2].prob, 0.25f, 1e-6f);
  EXPECT_FLOAT_EQ(r[0].chi[0], -65.0f);
  EXPECT_FLOAT_EQ(r[0].sd[1], 11.0f);
  EXPECT_FLOAT_EQ(r[0].chi[2], 178.0f);
  EXPECT_FLOAT_EQ(r[1].chi[3], 179.0f);
  EXPECT_FLOAT_EQ(r[1].sd[3], 15.0f);
  EXPECT_FLOAT_EQ(r[2].chi[2], -70.0f);
  EXPECT_FLOAT_EQ(r[2].sd[3], 17.0f);
  // A core whose wells have no tail is an error naming the cell's line.
  std::string e;
  try {
    parse(library("LYS 0 0 1 -65 10 60 11\n", "|0 0|", "LYS"));
  } catch (const InputError& x) {
    e = x.what();
  }
  EXPECT_NE(e.find("no \"given\" records for LYS"), std::string::npos) << e;
}

TEST(RotamerLibrary, MalformedFilesNameFileAndLine) {
  // The record appended to the base library is the line after it.
  const std::string base = library("");
  const std::string at93 =
      "rot.lib:" + std::to_string(std::count(base.begin(), base.end(), '\n') + 1) + ": ";
  EXPECT_EQ(error_of(library("XYZ all all 1 60 10\n")).rfind(at93 + "unknown residue", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 1 60\n")).rfind(at93 + "expected 6 fields", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 1 abc 10\n")).rfind(at93 + "expected chi", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 0 60 10\n")).rfind(at93 + "probability", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 0.5 -180 10\n")).rfind(at93 + "chi1 outside", 0), 0u);
  EXPECT_EQ(error_of(library("PHE all all 0.5 60 10 90 10\n")).rfind(at93 + "chi2 outside", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 0.5 60 -1\n")).rfind(at93 + "spread", 0), 0u);
  EXPECT_EQ(error_of(library("SER 10 -180 1 60 10\n")).rfind(at93 + "expected phi cell", 0), 0u);
  EXPECT_EQ(error_of(library("SER -180 180 all\n")).rfind(at93 + "expected psi cell", 0), 0u);
  EXPECT_EQ(error_of(library("SER 0 0 0.5 60 10\n")).rfind(at93 + "cell listed twice", 0), 0u);
  EXPECT_EQ(error_of(library("SER all all 1 60 10 7 8 9 10 11 12 13 14\n")).rfind(at93, 0), 0u);
  EXPECT_EQ(
      error_of(library("LYS all all 1 60 10 60 10 60 10 60 10\n")).rfind(at93 + "expected 8", 0),
      0u);
  EXPECT_EQ(error_of(library("LYS given 60 90 1 60 10 60 10\n")).rfind(at93 + "wells", 0), 0u);
  EXPECT_EQ(error_of(library("SER given 60 60 1 60 10\n")).rfind(at93 + "SER has no", 0), 0u);
  EXPECT_NE(error_of(library("MET given -60 -60 0.5 60 10\n")).find("\"given\" records starting"),
            std::string::npos);
  // Probabilities of a cell must sum to 1: the message names the cell's first line.
  EXPECT_EQ(error_of(library("SER all all 0.5 60 10\n")).rfind("rot.lib:3: probabilities", 0), 0u);
  EXPECT_EQ(error_of("rotamers cell 7\n").rfind("rot.lib:1: expected header", 0), 0u);
  EXPECT_EQ(error_of("# only a comment\n").rfind("rot.lib:1: no header", 0), 0u);
  // A cell without rotamers is named.
  EXPECT_NE(error_of(library("", "|0 0|")).find("no rotamers for SER (phi 0 psi 0)"),
            std::string::npos);
  EXPECT_NE(error_of("rotamers cell 180\n").find("no rotamers for SER (backbone-independent)"),
            std::string::npos);
  test::TempDir d;
  try {
    RotamerLibrary::read(d.file("none"));
    FAIL() << "a missing file was read";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find(d.file("none")), std::string::npos) << e.what();
  }
  EXPECT_THROW(RotamerLibrary::read(d.path().string()), InputError);  // a directory
}

}  // namespace
}  // namespace vorb::packer
