#include "tables.hpp"

#include "datadir.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "analysis/torsions.hpp"
#include "dssp.hpp"
#include "geometry/torsion.hpp"
#include "hdd_residues.hpp"
#include "holdout.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;
namespace {

constexpr float kDeg = 0.0174533f;  // radians per degree, as the program converts
constexpr float kPeak = 0.9f;       // value of the most populated statistics bin

float angle_deg(Vec3 a, Vec3 c, Vec3 b) {
  Vec3 u = a - c, v = b - c;
  float lu = norm(u), lv = norm(v);
  if (lu * lv <= 0.0f) return 0.0f;
  return std::acos(std::clamp(dot(u, v) / (lu * lv), -1.0f, 1.0f)) / kDeg;
}

// Position of a template atom of residue i: "-C" and "+N" only across a peptide bond.
const Vec3* resolve(const Chain& c, std::size_t i, const std::string& name) {
  if (name == "-C") return i > 0 && peptide_bonded(c, i - 1) ? c.res[i - 1].find(" C  ") : nullptr;
  if (name == "+N") return peptide_bonded(c, i) ? c.res[i + 1].find(" N  ") : nullptr;
  return c.res[i].find(heavy_name4(name));
}

std::string sample_key(const std::string& res, const std::string& a, const std::string& b,
                       const std::string& c) {
  return res + " " + a + " " + b + " " + c;
}

float median_sorted(const std::vector<float>& v) {
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5f * (v[n / 2 - 1] + v[n / 2]);
}

// Bin 1..80 of the hydrogen-bond statistics, 0 outside.
int stat_row(float v, float origin, float width) {
  float q = (v - origin) / width;
  if (!(q >= 1.0f) || q >= float(kHbRows + 1)) return 0;
  return static_cast<int>(q);
}

// One free-form record of n values from a line of a table file.
template <std::size_t N>
std::array<float, N> parse_row(const std::string& line, const std::string& path, int line_no) {
  std::istringstream in(line);
  ffmt::ListReader lr(in, path);
  std::array<float, N> v{};
  ffmt::ReadStatus st = std::apply([&](auto&... x) { return lr.read(x...); }, v);
  if (st != ffmt::ReadStatus::ok)
    throw InputError(path, line_no, "expected " + std::to_string(N) + " numbers");
  return v;
}

std::vector<std::string> table_lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path, 0, "cannot open table file");
  std::vector<std::string> lines;
  std::string line;
  while (ffmt::get_line(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

std::string geometry_key(const std::string& res3, std::string a, const std::string& b,
                         std::string c) {
  if (c.empty()) {
    if (b < a) return res3 + " " + b + " " + a;
    return res3 + " " + a + " " + b;
  }
  if (c < a) std::swap(a, c);
  return res3 + " " + a + " " + b + " " + c;
}

float Tables::bond(int type, const std::string& a, const std::string& b) const {
  std::string key = geometry_key(std::string(afn[std::size_t(type)]), a, b);
  auto it = geometry.find(key);
  if (it == geometry.end()) throw InputError("geometry table has no bond \"" + key + "\"");
  return it->second;
}

float Tables::angle(int type, const std::string& a, const std::string& centre,
                    const std::string& b) const {
  std::string key = geometry_key(std::string(afn[std::size_t(type)]), a, centre, b);
  auto it = geometry.find(key);
  if (it == geometry.end()) throw InputError("geometry table has no angle \"" + key + "\"");
  return it->second;
}

std::string hbond_row_text(const std::array<float, 7>& v) {
  ffmt::RecordWriter w;
  w.f(v[0], 6, 3).x(1).f(v[1], 8, 6).x(1).f(v[2], 6, 1).x(1).f(v[3], 8, 6).x(1).f(v[4], 8, 6);
  w.x(1).f(v[5], 7, 2).x(1).f(v[6], 8, 6);
  return w.str();
}

std::string rama_row_text(const std::array<float, 5>& v) {
  ffmt::RecordWriter w;
  w.f(v[0], 7, 1).x(1).f(v[1], 7, 1).x(1).f(v[2], 9, 6).x(1).f(v[3], 9, 6).x(1).f(v[4], 9, 6);
  return w.str();
}

Tables read_tables(const std::string& dir) {
  Tables t;
  {
    std::string path = dir + "/geometry.txt";
    std::vector<std::string> lines = table_lines(path);
    for (std::size_t k = 0; k < lines.size(); ++k) {
      if (lines[k].find_first_not_of(' ') == std::string::npos) continue;
      std::istringstream in(lines[k]);
      ffmt::ListReader lr(in, path);
      std::string res, a1, a2, a3;
      float value = 0, sd = 0;
      long n = 0;
      int pooled = 0;
      if (lr.read(res, a1, a2, a3, value, sd, n, pooled) != ffmt::ReadStatus::ok)
        throw InputError(path, int(k) + 1,
                         "expected residue, three atom names, value, deviation, count, pooled");
      if (!(value > 0.0f)) throw InputError(path, int(k) + 1, "value is not positive");
      t.geometry[geometry_key(res, a1, a2, a3 == "." ? "" : a3)] = value;
    }
  }
  {
    std::string path = dir + "/hbond.txt";
    std::vector<std::string> lines = table_lines(path);
    if (lines.size() != std::size_t(kHbRows))
      throw InputError(path, 0, "expected " + std::to_string(kHbRows) + " rows");
    for (std::size_t k = 0; k < lines.size(); ++k) {
      std::array<float, 7> v = parse_row<7>(lines[k], path, int(k) + 1);
      for (int c : {1, 3, 4, 6})
        if (!(v[std::size_t(c)] >= 0.0f && v[std::size_t(c)] < 1.0f))
          throw InputError(path, int(k) + 1, "statistics values must lie in [0, 1)");
      t.hbond.push_back(v);
    }
  }
  {
    std::string path = dir + "/rama.txt";
    std::vector<std::string> lines = table_lines(path);
    if (lines.size() != std::size_t(kRamaRows))
      throw InputError(path, 0, "expected " + std::to_string(kRamaRows) + " rows");
    for (std::size_t k = 0; k < lines.size(); ++k)
      t.rama.push_back(parse_row<5>(lines[k], path, int(k) + 1));
  }
  return t;
}

std::string find_tables_dir(const std::string& given) {
  std::error_code ec;
  auto has = [&](const std::string& d) { return fs::is_regular_file(d + "/geometry.txt", ec); };
  if (!given.empty()) {
    if (has(given + "/tables")) return given + "/tables";
    if (has(given)) return given;
    throw InputError(given + ": no tables (geometry.txt) in this directory or its tables/");
  }
  // The data directory beside the running executable first (an installed tree, wherever it
  // was moved), as find_data_dir looks for it; then the source tree; then the install prefix.
  std::vector<std::string> dirs;
  if (std::string self = self_dir(); !self.empty())
    dirs.push_back((fs::path(self) / VORB_BIN_TO_DATA).lexically_normal().string());
  dirs.push_back(VORB_DATA_DIR);
  dirs.push_back(VORB_INSTALL_DATA_DIR);
  std::string tried;
  for (const std::string& d : dirs) {
    if (has(d + "/tables")) return d + "/tables";
    tried += (tried.empty() ? "" : ", ") + d + "/tables";
  }
  throw InputError("cannot find the tables in " + tried + " (give --data DIR)");
}

float robust_mean(std::vector<float> v, float& sd) {
  sd = 0.0f;
  if (v.empty()) return 0.0f;
  std::sort(v.begin(), v.end());
  float m = median_sorted(v);
  std::vector<float> dev;
  for (float x : v) dev.push_back(std::fabs(x - m));
  std::sort(dev.begin(), dev.end());
  float limit = 4.0f * 1.4826f * median_sorted(dev);
  std::vector<float> kept;
  for (float x : v)
    if (limit <= 0.0f || std::fabs(x - m) <= limit) kept.push_back(x);
  float m2 = median_sorted(kept);
  dev.clear();
  for (float x : kept) dev.push_back(std::fabs(x - m2));
  std::sort(dev.begin(), dev.end());
  sd = 1.4826f * median_sorted(dev);
  return m2;
}

TableBuilder::TableBuilder() = default;

void TableBuilder::add(const Chain& c) {
  Assignment a = assign_secondary(c);
  const std::size_t n = c.res.size();

  // Heavy-atom geometry per residue type.
  for (std::size_t i = 0; i < n; ++i) {
    int type = c.res[i].type;
    if (type < 1) continue;
    const ResidueTemplate& t = residue_template(type);
    for (const TemplateBond& b : t.bonds) {
      const Vec3 *p = resolve(c, i, b.a), *q = resolve(c, i, b.b);
      if (p && q) samples_[sample_key(t.name3, b.a, b.b, ".")].push_back(dist(*p, *q));
    }
    for (const auto& g : heavy_angles(t)) {
      const Vec3 *p = resolve(c, i, g[0]), *q = resolve(c, i, g[1]), *r = resolve(c, i, g[2]);
      if (p && q && r)
        samples_[sample_key(t.name3, g[0], g[1], g[2])].push_back(angle_deg(*p, *q, *r));
    }
  }

  // Backbone hydrogen bonds: H..O distance, N-H..O and H..O=C angles, CA-C=O..H torsion.
  for (const BackboneHBond& b : a.hbonds) {
    const Residue &d = c.res[std::size_t(b.donor)], &k = c.res[std::size_t(b.acceptor)];
    Vec3 h;
    if (!amide_h(c, std::size_t(b.donor), h)) continue;
    Vec3 nn = d.at(" N  "), o = k.at(" O  "), cc = k.at(" C  "), ca = k.at(" CA ");
    ++hbonds_;
    if (int r = stat_row(dist(h, o), 1.4f, 0.02f)) ++hb_[0][std::size_t(r)];
    if (int r = stat_row(angle_deg(nn, h, o), 20.0f, 2.0f)) ++hb_[1][std::size_t(r)];
    if (int r = stat_row(angle_deg(h, o, cc), 20.0f, 2.0f)) ++hb_[2][std::size_t(r)];
    float tor = dihedral(ca, cc, o, h) / kDeg;
    int r = std::clamp(static_cast<int>((tor + 180.0f) / 4.5f) + 1, 1, kHbRows);
    ++hb_[3][std::size_t(r)];
  }

  // Phi/psi cells of residues with both torsions, by class.
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (!peptide_bonded(c, i - 1) || !peptide_bonded(c, i)) continue;
    const Residue& r = c.res[i];
    const Vec3 *nn = r.find(" N  "), *ca = r.find(" CA "), *cc = r.find(" C  ");
    const Vec3 *cp = c.res[i - 1].find(" C  "), *nx = c.res[i + 1].find(" N  ");
    if (!nn || !ca || !cc) continue;
    float phi = dihedral(*cp, *nn, *ca, *cc) / kDeg;
    float psi = dihedral(*nn, *ca, *cc, *nx) / kDeg;
    int cls = a.ss[i] == 'H' ? 1 : a.ss[i] == 'E' ? 2 : 0;
    ++rama_[std::size_t(cls)][std::size_t(rama_cell(phi, psi))];
    ++residues_;
  }
}

Derived TableBuilder::finish() const {
  Derived d = statistics();

  // Pooled samples by atom names alone, for residue types with too few.
  std::map<std::string, std::vector<float>> pooled;
  auto canon = [](const std::string& a, const std::string& b, const std::string& c) {
    return c == "." ? geometry_key("", a, b) : geometry_key("", a, b, c);
  };
  for (int type = 1; type <= 20; ++type) {
    const ResidueTemplate& t = residue_template(type);
    auto add = [&](const std::string& a, const std::string& b, const std::string& c) {
      auto it = samples_.find(sample_key(t.name3, a, b, c));
      if (it == samples_.end()) return;
      auto& v = pooled[canon(a, b, c)];
      v.insert(v.end(), it->second.begin(), it->second.end());
    };
    for (const TemplateBond& b : t.bonds) add(b.a, b.b, ".");
    for (const auto& g : heavy_angles(t)) add(g[0], g[1], g[2]);
  }
  for (int type = 1; type <= 20; ++type) {
    const ResidueTemplate& t = residue_template(type);
    auto row = [&](const std::string& a, const std::string& b, const std::string& c) {
      Derived::GeometryRow g{t.name3, a, b, c};
      auto it = samples_.find(sample_key(t.name3, a, b, c));
      const std::vector<float>* v = it == samples_.end() ? nullptr : &it->second;
      if (!v || long(v->size()) < kMinSamples) {
        v = &pooled[canon(a, b, c)];
        g.pooled = 1;
      }
      if (long(v->size()) < kMinSamples)
        throw InputError("too few samples of " + t.name3 + " " + a + " " + b +
                         (c == "." ? "" : " " + c) + " (" + std::to_string(v->size()) +
                         ") even over all residue types");
      g.value = robust_mean(*v, g.sd);
      g.n = long(v->size());
      d.geometry.push_back(g);
    };
    for (const TemplateBond& b : t.bonds) row(b.a, b.b, ".");
    for (const auto& g : heavy_angles(t)) row(g[0], g[1], g[2]);
  }
  return d;
}

Derived TableBuilder::statistics() const {
  Derived d;
  d.residues = residues_;
  d.hbonds = hbonds_;

  std::array<long, 4> peak{};
  for (int h = 0; h < 4; ++h)
    for (int r = 1; r <= kHbRows; ++r)
      peak[std::size_t(h)] = std::max(peak[std::size_t(h)], hb_[std::size_t(h)][std::size_t(r)]);
  auto scaled = [&](int h, int r) {
    long p = peak[std::size_t(h)];
    return p > 0 ? kPeak * float(hb_[std::size_t(h)][std::size_t(r)]) / float(p) : 0.0f;
  };
  for (int r = 1; r <= kHbRows; ++r) {
    float fr = float(r);
    d.hbond.push_back({1.4f + 0.02f * (fr + 0.5f), scaled(0, r), 20.0f + 2.0f * (fr + 0.5f),
                       scaled(1, r), scaled(2, r), -180.0f + 4.5f * (fr - 0.5f), scaled(3, r)});
  }

  std::array<long, 3> total{};
  for (int k = 0; k < 3; ++k)
    for (int cell = 1; cell <= kRamaRows; ++cell)
      total[std::size_t(k)] += rama_[std::size_t(k)][std::size_t(cell)];
  d.coil = total[0];
  d.helix = total[1];
  d.strand = total[2];
  auto frac = [&](int k, int cell) {
    long t = total[std::size_t(k)];
    return t > 0 ? float(double(rama_[std::size_t(k)][std::size_t(cell)]) / double(t)) : 0.0f;
  };
  for (int cell = 1; cell <= kRamaRows; ++cell) {
    int a = (cell - 1) / 37, b = (cell - 1) % 37;
    d.rama.push_back({-180.0f + 10.0f * float(a), -180.0f + 10.0f * float(b), frac(0, cell),
                      frac(1, cell), frac(2, cell)});
  }
  return d;
}

void write_tables(const Derived& d, const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir)) throw InputError(dir, 0, "cannot create the tables directory");
  {
    OutputFile out(dir + "/geometry.txt");
    for (const Derived::GeometryRow& g : d.geometry) {
      ffmt::RecordWriter w;
      w.a(g.res, 3).x(1).a(g.a1, 3).x(1).a(g.a2, 3).x(1).a(g.a3, 3).x(1).f(g.value, 9, 4);
      w.x(1).f(g.sd, 8, 4).x(1).i(g.n, 8).x(1).i(g.pooled, 1);
      out.line(w.str());
    }
    out.commit();
  }
  {
    OutputFile out(dir + "/hbond.txt");
    for (const auto& v : d.hbond) out.line(hbond_row_text(v));
    out.commit();
  }
  {
    OutputFile out(dir + "/rama.txt");
    for (const auto& v : d.rama) out.line(rama_row_text(v));
    out.commit();
  }
}

namespace {

// Centre of the most populated cell of one class (column 3 coil, 4 helix, 5 strand).
std::pair<float, float> rama_peak(const Derived& d, int col) {
  std::size_t best = 0;
  for (std::size_t k = 1; k < d.rama.size(); ++k)
    if (d.rama[k][std::size_t(col)] > d.rama[best][std::size_t(col)]) best = k;
  return {d.rama[best][0] + 5.0f, d.rama[best][1] + 5.0f};
}

}  // namespace

int cmd_tables(const Args& args) {
  std::vector<std::string> dirs;
  std::string out = "data/tables";
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "-h" || args[k] == "--help") {
      std::printf("usage: vorb-tools tables DIR... [-o DIR]\n");
      return 0;
    } else if (args[k] == "-o" && k + 1 < args.size()) {
      out = args[++k];
    } else if (!args[k].empty() && args[k][0] == '-') {
      throw InputError("usage: vorb-tools tables DIR... [-o DIR]");
    } else {
      dirs.push_back(args[k]);
    }
  }
  if (dirs.empty()) throw InputError("usage: vorb-tools tables DIR... [-o DIR]");
  std::vector<std::string> files;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw InputError(dir, 0, "not a directory");
    Split s = split_directory(dir);
    if (s.train.empty()) throw InputError(dir, 0, "no training *.pdb files");
    files.insert(files.end(), s.train.begin(), s.train.end());
  }
  TableBuilder b;
  for (const std::string& f : files) {
    Chain c = read_chain(f);
    if (c.res.empty()) throw InputError(f, 0, "no ATOM records");
    b.add(c);
  }
  Derived d = b.finish();
  write_tables(d, out);

  int pooled = 0;
  for (const auto& g : d.geometry) pooled += g.pooled;
  int dpeak = 1;
  for (int r = 1; r <= kHbRows; ++r)
    if (d.hbond[std::size_t(r - 1)][1] > d.hbond[std::size_t(dpeak - 1)][1]) dpeak = r;
  auto [hphi, hpsi] = rama_peak(d, 3);
  auto [ephi, epsi] = rama_peak(d, 4);
  std::printf("%zu training files, %ld residues with phi/psi (%ld helix, %ld strand, %ld other)\n",
              files.size(), d.residues, d.helix, d.strand, d.coil);
  std::printf("%s/geometry.txt: %zu rows (%d pooled over residue types)\n", out.c_str(),
              d.geometry.size(), pooled);
  std::printf("%s/hbond.txt: %d rows from %ld backbone hydrogen bonds, H..O peak %.2f A\n",
              out.c_str(), kHbRows, d.hbonds, double(d.hbond[std::size_t(dpeak - 1)][0]));
  std::printf("%s/rama.txt: %d rows, helix peak (%.0f, %.0f), strand peak (%.0f, %.0f)\n",
              out.c_str(), kRamaRows, double(hphi), double(hpsi), double(ephi), double(epsi));
  return 0;
}

}  // namespace vorb::tools
