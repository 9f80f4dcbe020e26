#include "tables.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "analysis/torsions.hpp"
#include "dssp.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "support/test_support.hpp"
#include "tools/ideal_chain.hpp"

namespace vorb::tools {
namespace {

namespace fs = std::filesystem;

std::string committed_dir() { return std::string(VORB_SOURCE_DIR) + "/data/tables"; }

// Centre of the cell where a propensity column (3 helix, 4 strand) peaks.
std::pair<float, float> peak_cell(const Tables& t, int col) {
  std::size_t best = 0;
  for (std::size_t k = 0; k < t.rama.size(); ++k)
    if (t.rama[k][std::size_t(col)] > t.rama[best][std::size_t(col)]) best = k;
  return {t.rama[best][0] + 5.0f, t.rama[best][1] + 5.0f};
}

// Bin centre (column col - 1) where a statistics column peaks.
float peak_bin(const std::vector<std::array<float, 7>>& rows, int col, int centre_col) {
  std::size_t best = 0;
  for (std::size_t k = 0; k < rows.size(); ++k)
    if (rows[k][std::size_t(col)] > rows[best][std::size_t(col)]) best = k;
  return rows[best][std::size_t(centre_col)];
}

TEST(CommittedTables, ReproduceKnownStructure) {
  Tables t = read_tables(committed_dir());
  auto [hphi, hpsi] = peak_cell(t, 3);
  EXPECT_NEAR(hphi, -63.0f, 10.0f);
  EXPECT_NEAR(hpsi, -41.0f, 10.0f);
  auto [ephi, epsi] = peak_cell(t, 4);
  EXPECT_NEAR(ephi, -120.0f, 15.0f);
  EXPECT_NEAR(epsi, 130.0f, 15.0f);
  // The propensities of one class over the grid sum to 1; the row values are the cell's edges.
  for (int col : {2, 3, 4}) {
    double sum = 0;
    for (const auto& r : t.rama) sum += r[std::size_t(col)];
    EXPECT_NEAR(sum, 1.0, 1e-3) << col;
  }
  for (int c = 1; c <= kRamaRows; ++c) {
    const auto& r = t.rama[std::size_t(c - 1)];
    EXPECT_EQ(rama_cell(r[0], r[1]), c);
  }

  float dpeak = peak_bin(t.hbond, 1, 0);
  EXPECT_GE(dpeak, 1.8f);
  EXPECT_LE(dpeak, 2.1f);
  EXPECT_GE(peak_bin(t.hbond, 3, 2), 150.0f);  // N-H..O nearly straight
  EXPECT_GE(peak_bin(t.hbond, 4, 2), 130.0f);  // H..O=C
  EXPECT_LE(peak_bin(t.hbond, 4, 2), 170.0f);
  for (int col : {1, 3, 4, 6}) {
    float top = 0;
    for (const auto& r : t.hbond) top = std::max(top, r[std::size_t(col)]);
    EXPECT_FLOAT_EQ(top, 0.9f) << col;
  }
  // Distances that the hydrogen-bond search never accepts carry no weight in the energy.
  EXPECT_LT(t.hbond[5][1], 0.01f);

  // Ideal geometry close to the accepted values for peptides.
  EXPECT_NEAR(t.bond(kAla, "N", "CA"), 1.458f, 0.01f);
  EXPECT_NEAR(t.bond(kAla, "CA", "C"), 1.525f, 0.01f);
  EXPECT_NEAR(t.bond(kAla, "C", "O"), 1.231f, 0.01f);
  EXPECT_NEAR(t.bond(kAla, "-C", "N"), 1.33f, 0.01f);
  EXPECT_NEAR(t.bond(kPhe, "CZ", "CE1"), 1.38f, 0.02f);  // either order of the atoms
  EXPECT_NEAR(t.bond(kCys, "CB", "SG"), 1.81f, 0.03f);
  EXPECT_NEAR(t.angle(kGly, "N", "CA", "C"), 113.0f, 2.0f);
  EXPECT_NEAR(t.angle(kAla, "C", "CA", "N"), 111.0f, 2.0f);
  EXPECT_NEAR(t.angle(kPro, "CA", "N", "CD"), 111.5f, 2.0f);
  EXPECT_THROW(t.bond(kGly, "CA", "CB"), InputError);
}

TEST(RobustMean, DropsOutliersAndTakesTheMedian) {
  float sd = 0;
  EXPECT_FLOAT_EQ(robust_mean({1, 2, 3, 100}, sd), 2.0f);
  EXPECT_FLOAT_EQ(sd, 1.4826f);
  EXPECT_FLOAT_EQ(robust_mean({5, 5, 5}, sd), 5.0f);
  EXPECT_FLOAT_EQ(sd, 0.0f);
  EXPECT_FLOAT_EQ(robust_mean({1, 2, 3, 4}, sd), 2.5f);
}

TEST(TableBuilder, CountsAnIdealHelix) {
  Chain c = test::uniform_chain(14, -57.8f, -47.0f);
  TableBuilder b;
  b.add(c);
  Derived d = b.statistics();
  EXPECT_EQ(d.residues, 12);  // the ends lack phi or psi
  EXPECT_EQ(d.helix, 12);
  EXPECT_EQ(d.strand, 0);
  Assignment a = assign_secondary(c);
  EXPECT_EQ(d.hbonds, long(a.hbonds.size()));
  int cell = rama_cell(-57.8f, -47.0f);
  EXPECT_FLOAT_EQ(d.rama[std::size_t(cell - 1)][3], 1.0f);
  EXPECT_FLOAT_EQ(d.rama[std::size_t(cell - 1)][4], 0.0f);
  // The i -> i+4 bonds are all alike: their distance bin is the peak.
  Vec3 h;
  ASSERT_TRUE(amide_h(c, 8, h));
  float dho = dist(h, c.res[4].at(" O  "));
  int row = int((dho - 1.4f) / 0.02f);
  EXPECT_FLOAT_EQ(d.hbond[std::size_t(row - 1)][1], 0.9f);
  // Without a sample of every residue type the geometry cannot be derived.
  try {
    b.finish();
    ADD_FAILURE() << "finish() accepted a single alanine helix";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("too few samples"), std::string::npos) << e.what();
  }
}

TEST(ReadTables, RejectsDamagedFiles) {
  test::TempDir dir;
  auto copy = [&] {
    for (const char* f : {"geometry.txt", "hbond.txt", "rama.txt"})
      fs::copy_file(committed_dir() + "/" + f, dir.file(f), fs::copy_options::overwrite_existing);
  };
  auto expect_error = [&](const std::string& file, const std::string& text, const char* what) {
    copy();
    test::write_file(dir.file(file), text);
    try {
      read_tables(dir.path().string());
      ADD_FAILURE() << file << " accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
  };
  copy();
  EXPECT_NO_THROW(read_tables(dir.path().string()));
  std::string hb = test::read_file(committed_dir() + "/hbond.txt");
  std::string rama = test::read_file(committed_dir() + "/rama.txt");
  expect_error("hbond.txt", hb.substr(0, hb.rfind('\n', hb.size() - 2) + 1), "expected 80 rows");
  expect_error("hbond.txt", " 1.0 0.5 2.0 1.5 0.1 0.0 0.1\n" + hb.substr(hb.find('\n') + 1),
               "[0, 1)");
  expect_error("rama.txt", " -180.0 x 0 0 0\n" + rama.substr(rama.find('\n') + 1), "rama.txt:1:");
  expect_error("geometry.txt", "ALA N CA . 1.45\n", "geometry.txt:1:");
  fs::remove(dir.file("geometry.txt"));
  EXPECT_THROW(read_tables(dir.path().string()), InputError);
  EXPECT_EQ(find_tables_dir(std::string(VORB_SOURCE_DIR) + "/data"), committed_dir());
  EXPECT_THROW(find_tables_dir(dir.file("none")), InputError);
}

TEST(TablesCommand, RefusesTooLittleData) {
  test::TempDir dir;
  fs::create_directory(dir.file("few"));
  fs::copy_file(std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb", dir.file("few/1ubi_a.pdb"));
  test::RunResult r = test::run_tools(dir.path(), "tables few -o out");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("too few samples"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.file("out/geometry.txt")));
  EXPECT_EQ(test::run_tools(dir.path(), "tables").status, 2);
  EXPECT_EQ(test::run_tools(dir.path(), "tables nowhere").status, 2);
}

TEST(TablesCommand, CommittedTablesComeFromTheTrainingSet) {
  std::string shared = test::shared_dir();
  if (shared.empty()) GTEST_SKIP() << "no shared structures";
  test::TempDir dir;
  test::RunResult r =
      test::run_tools(dir.path(), "tables '" + shared + "/structures/train' -o out");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* f : {"geometry.txt", "hbond.txt", "rama.txt"})
    EXPECT_EQ(test::read_file(dir.file(std::string("out/") + f)),
              test::read_file(committed_dir() + "/" + f))
        << f;
}

}  // namespace
}  // namespace vorb::tools
