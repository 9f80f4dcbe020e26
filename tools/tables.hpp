// The tables the topology generator takes from real structures: ideal heavy-atom geometry, the
// hydrogen-bond statistics and the phi/psi propensity grid (files under data/tables).
//
//   geometry.txt  one row per residue type and atom pair (bond) or triple (angle):
//                 "RES A1 A2 A3 value robust-sd n pooled", A3 "." for a bond; lengths in A,
//                 angles in degrees; pooled 1 when the residue type had too few samples and the
//                 value comes from every residue type with that atom pair or triple.
//   hbond.txt     80 rows of seven values, the hydrogen-bond statistics rows of the topology.
//   rama.txt      1369 rows of five values, the propensity rows of the topology.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "commands.hpp"
#include "structure.hpp"

namespace vorb::tools {

inline constexpr int kHbRows = 80;
inline constexpr int kRamaRows = 1369;
inline constexpr int kMinSamples = 30;  // fewer samples of one residue type: pool the types

struct Tables {
  std::map<std::string, float> geometry;  // by geometry_key
  std::vector<std::array<float, 7>> hbond;
  std::vector<std::array<float, 5>> rama;

  // Ideal bond length / angle of residue type `type` between short atom names (see
  // hdd_residues.hpp); InputError naming the missing entry when absent.
  float bond(int type, const std::string& a, const std::string& b) const;
  float angle(int type, const std::string& a, const std::string& centre,
              const std::string& b) const;
};

// Key of a bond (c empty) or angle; the outer atoms are put in a fixed order.
std::string geometry_key(const std::string& res3, std::string a, const std::string& b,
                         std::string c = "");

// Reads geometry.txt, hbond.txt and rama.txt of a directory; InputError naming file and line on
// anything malformed or missing.
Tables read_tables(const std::string& dir);

// The tables directory: `given` (a data directory holding tables/, or the tables directory
// itself) when not empty; else tables/ of the first data directory that has it, in the order
// of find_data_dir: beside the running executable (<bin>/../share/vorb in the default
// layout), the source tree's data, the configured <prefix>/share/vorb.
std::string find_tables_dir(const std::string& given);

// What `vorb-tools tables` derives from a set of chains.
struct Derived {
  struct GeometryRow {
    std::string res, a1, a2, a3;  // a3 "." for a bond
    float value = 0, sd = 0;
    long n = 0;
    int pooled = 0;
  };
  std::vector<GeometryRow> geometry;
  std::vector<std::array<float, 7>> hbond;
  std::vector<std::array<float, 5>> rama;
  long residues = 0, helix = 0, strand = 0, coil = 0, hbonds = 0;
};

// Accumulates the samples of chains one at a time (the train part only: the caller chooses).
class TableBuilder {
 public:
  TableBuilder();
  void add(const Chain& c);
  // The hydrogen-bond statistics, the propensity grid and the counts.
  Derived statistics() const;
  // Everything; InputError when a geometry entry has fewer than kMinSamples samples even when
  // pooled over residue types.
  Derived finish() const;

 private:
  std::map<std::string, std::vector<float>> samples_;      // by "RES A1 A2 A3"
  std::array<std::array<long, kHbRows + 1>, 4> hb_{};      // distance, D-H..A, H..A-AB, torsion
  std::array<std::array<long, kRamaRows + 1>, 3> rama_{};  // coil, helix, strand
  long residues_ = 0, hbonds_ = 0;
};
// Writes the three files into dir (created when missing).
void write_tables(const Derived& d, const std::string& dir);

// The text of one hydrogen-bond statistics row and one propensity row, as the topology and the
// tables hold them.
std::string hbond_row_text(const std::array<float, 7>& v);
std::string rama_row_text(const std::array<float, 5>& v);

// Robust mean: the median of the values within four robust standard deviations (1.4826 times
// the median absolute deviation) of the median; sd is the robust deviation of what was kept.
float robust_mean(std::vector<float> v, float& sd);

int cmd_tables(const Args& args);

}  // namespace vorb::tools
