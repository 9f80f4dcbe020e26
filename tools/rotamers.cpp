#include "rotamers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>
#include <map>
#include <numeric>
#include <tuple>

#include "geometry/torsion.hpp"
#include "holdout.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"
#include "packer/rotamers.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;
using packer::RotamerLibrary;
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kRadToDeg = 57.2957795f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Library types in table order.
constexpr std::array<const char*, 18> kNames = {"SER", "CYS", "VAL", "THR", "ILE", "PRO",
                                                "MET", "ASP", "ASN", "LEU", "LYS", "GLU",
                                                "GLN", "ARG", "HIS", "PHE", "TYR", "TRP"};

int library_type(const std::string& res3) {
  for (std::size_t t = 0; t < kNames.size(); ++t)
    if (res3 == kNames[t]) return int(t);
  return -1;
}

// How one chi is cut into rotamer bins: n bins of the given width over the period, bin 0
// centred at c0.
struct BinLayout {
  float period = 360.0f, width = 120.0f, c0 = 60.0f;
  int n = 3;
};

BinLayout bin_layout(const std::string& res3, int k, int fine_width) {
  const float fw = float(fine_width);
  if (res3 == "PRO") return {360.0f, 60.0f, 30.0f, 6};
  if (packer::chi_folded(res3, k)) return {180.0f, fw, 0.0f, 180 / fine_width};
  bool fine =
      (k == 2 && (res3 == "ASN" || res3 == "HIS" || res3 == "TRP")) || (k == 3 && res3 == "GLN");
  if (fine) return {360.0f, fw, 0.0f, 360 / fine_width};
  return {};
}

int bin_of(float x, const BinLayout& b) {
  float y = std::fmod(x - b.c0 + 0.5f * b.width, b.period);
  if (y < 0.0f) y += b.period;
  return std::min(int(y / b.width), b.n - 1);
}

// The bins of chis first + 1 .. first + nchi of a residue type.
struct TypeBins {
  int first = 0;
  int nchi = 0;
  int nrot = 1;
  std::array<BinLayout, 4> bins{};
};

// Types with more than two torsions are stored factorised: the backbone-dependent part bins
// chi1 and chi2 (the core), and the later torsions have one backbone-independent distribution
// per core bin (the tail).
TypeBins type_bins(int t, int fine_width, bool tail) {
  TypeBins tb;
  int n = RotamerLibrary::nchi(kNames[std::size_t(t)]);
  tb.first = tail ? 2 : 0;
  tb.nchi = tail ? n - 2 : std::min(n, 2);
  for (int k = 0; k < tb.nchi; ++k) {
    tb.bins[std::size_t(k)] = bin_layout(kNames[std::size_t(t)], tb.first + k + 1, fine_width);
    tb.nrot *= tb.bins[std::size_t(k)].n;
  }
  return tb;
}

float sample_chi(const ChiSample& s, const TypeBins& tb, int k) {
  return s.chi[std::size_t(tb.first + k)];
}

int rotamer_id(const ChiSample& s, const TypeBins& tb) {
  int id = 0;
  for (int k = 0; k < tb.nchi; ++k)
    id = id * tb.bins[std::size_t(k)].n + bin_of(sample_chi(s, tb, k), tb.bins[std::size_t(k)]);
  return id;
}

// Weighted sums of one entry: per rotamer the weight and, per chi, the weighted cosine and sine
// of the angle scaled to a full turn over its period.
struct Sums {
  std::vector<double> w, c, s;  // c, s indexed [rot * 4 + k]
  double total = 0;
  explicit Sums(int nrot)
      : w(std::size_t(nrot)), c(std::size_t(nrot) * 4), s(std::size_t(nrot) * 4) {}
  void add(int id, const ChiSample& x, const TypeBins& tb, double wt) {
    w[std::size_t(id)] += wt;
    total += wt;
    for (int k = 0; k < tb.nchi; ++k) {
      double a =
          double(sample_chi(x, tb, k)) * (2.0 * kPi / double(tb.bins[std::size_t(k)].period));
      c[std::size_t(id) * 4 + std::size_t(k)] += wt * std::cos(a);
      s[std::size_t(id) * 4 + std::size_t(k)] += wt * std::sin(a);
    }
  }
};

double wrap180(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

// A value rounded to one decimal as it will be printed, kept inside the convention.
float printed_chi(double deg, bool folded) {
  float x = packer::chi_convention(float(deg), folded);
  x = float(std::nearbyint(double(x) * 10.0) / 10.0);
  return packer::chi_convention(x, folded);
}

struct OutRot {
  int id = 0;
  double p = 0;
  std::array<double, 4> chi{}, sd{};
};

// Rotamers of an entry: the cell's sums blended with the independent distribution (ind, with
// prior as its pseudo-count; ind == nullptr for the independent entry itself), pruned to the
// most probable ones covering keep.
std::vector<OutRot> finish_entry(const Sums& cell, const Sums* ind, double prior,
                                 const TypeBins& tb, double keep) {
  std::vector<OutRot> out;
  double total = cell.total + (ind ? prior : 0.0);
  if (total <= 0.0) return out;
  for (int r = 0; r < tb.nrot; ++r) {
    std::size_t ur = std::size_t(r);
    double pind = ind && ind->total > 0 ? ind->w[ur] / ind->total : 0.0;
    double wr = cell.w[ur] + prior * pind;
    if (wr <= 0.0) continue;
    OutRot o;
    o.id = r;
    o.p = wr / total;
    for (int k = 0; k < tb.nchi; ++k) {
      std::size_t q = ur * 4 + std::size_t(k);
      double c = cell.c[q], s = cell.s[q];
      if (ind && pind > 0.0) {
        c += prior * pind * ind->c[q] / ind->w[ur];
        s += prior * pind * ind->s[q] / ind->w[ur];
      }
      double scale = double(tb.bins[std::size_t(k)].period) / 360.0;
      double rbar = std::min(1.0, std::hypot(c, s) / wr);
      o.chi[std::size_t(k)] = std::atan2(s, c) * (180.0 / kPi) * scale;
      o.sd[std::size_t(k)] =
          rbar > 0.0 ? std::min(180.0, std::sqrt(-2.0 * std::log(rbar)) * (180.0 / kPi) * scale)
                     : 180.0;
    }
    out.push_back(o);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const OutRot& a, const OutRot& b) { return a.p > b.p; });
  double cum = 0;
  std::size_t n = 0;
  while (n < out.size() && (n == 0 || (cum < keep && out[n].p >= 0.001))) cum += out[n++].p;
  out.resize(n);
  for (OutRot& o : out) o.p /= cum;
  return out;
}

std::string record(const char* res3, const std::string& phi, const std::string& psi,
                   const OutRot& o, const TypeBins& tb) {
  ffmt::RecordWriter w;
  w.a(res3, 3).a(phi).a(psi).x(1).f(std::max(o.p, 0.0001), 6, 4);
  for (int k = 0; k < tb.nchi; ++k) {
    bool folded = packer::chi_folded(res3, tb.first + k + 1);
    float x = printed_chi(o.chi[std::size_t(k)], folded);
    // The reader finds a core's tail by the wells of its printed chi1 and chi2: keep rounding
    // from moving a centre onto the next well's edge.
    const BinLayout& b = tb.bins[std::size_t(k)];
    int want = bin_of(float(o.chi[std::size_t(k)]), b);
    if (bin_of(x, b) != want)
      x = packer::chi_convention(x + (bin_of(x + 0.1f, b) == want ? 0.1f : -0.1f), folded);
    w.x(1).f(x, 6, 1);
    w.x(1).f(o.sd[std::size_t(k)], 5, 1);
  }
  return w.str();
}

// The nominal centre of a well (60, 180, -60) of a chi bin, as the tail records name it.
int well_centre(int bin) { return bin == 0 ? 60 : bin == 1 ? 180 : -60; }

}  // namespace

std::pair<float, float> phi_psi(const Chain& c, std::size_t i) {
  float phi = kNaN, psi = kNaN;
  const Residue& r = c.res[i];
  const Vec3* n0 = r.find(" N  ");
  const Vec3* ca = r.find(" CA ");
  const Vec3* c0 = r.find(" C  ");
  if (!n0 || !ca || !c0) return {phi, psi};
  if (i > 0 && peptide_bonded(c, i - 1))
    phi = dihedral(c.res[i - 1].at(" C  "), *n0, *ca, *c0) * kRadToDeg;
  if (peptide_bonded(c, i)) psi = dihedral(*n0, *ca, *c0, c.res[i + 1].at(" N  ")) * kRadToDeg;
  return {phi, psi};
}

std::vector<ChiSample> chain_chi_samples(const Chain& c, int& skipped) {
  std::vector<ChiSample> out;
  for (std::size_t i = 0; i < c.res.size(); ++i) {
    const Residue& r = c.res[i];
    int t = library_type(r.name);
    if (t < 0) continue;
    ChiSample s;
    s.type = t;
    int n = RotamerLibrary::nchi(r.name);
    bool ok = true;
    for (int k = 1; k <= n && ok; ++k) {
      std::array<std::string_view, 4> names = packer::chi_atoms(r.name, k);
      std::array<const Vec3*, 4> p{};
      for (std::size_t a = 0; a < 4; ++a) {
        p[a] = r.find(std::string(names[a]));
        if (!p[a]) ok = false;
      }
      if (!ok) break;
      float deg = dihedral(*p[0], *p[1], *p[2], *p[3]) * kRadToDeg;
      s.chi[std::size_t(k - 1)] = packer::chi_convention(deg, packer::chi_folded(r.name, k));
    }
    if (!ok) {
      ++skipped;
      continue;
    }
    std::tie(s.phi, s.psi) = phi_psi(c, i);
    s.index = i;
    out.push_back(s);
  }
  return out;
}

std::vector<std::string> rotamer_library_lines(const std::vector<ChiSample>& samples,
                                               const RotamerOptions& opt) {
  const int nc = 360 / opt.cell;
  std::vector<std::string> lines;
  lines.push_back("rotamers cell " + std::to_string(opt.cell));
  lines.push_back(
      "# RES PHI PSI PROB then CHI SD of each torsion (chi1 and chi2 only for MET, LYS, "
      "GLU, GLN, ARG); PHI PSI = cell start, all = backbone-independent");
  lines.push_back(
      "# RES given W1 W2 PROB then CHI SD of chi3 (and chi4): their distribution when "
      "chi1 and chi2 lie in the wells centred at W1 and W2");
  for (int t = 0; t < int(kNames.size()); ++t) {
    const TypeBins tb = type_bins(t, opt.fine, false);
    std::vector<const ChiSample*> mine;
    std::vector<int> ids;
    for (const ChiSample& s : samples)
      if (s.type == t) {
        mine.push_back(&s);
        ids.push_back(rotamer_id(s, tb));
      }
    if (mine.empty())
      throw InputError("no complete " + std::string(kNames[std::size_t(t)]) +
                       " side chain in the training set");
    Sums ind(tb.nrot);
    for (std::size_t q = 0; q < mine.size(); ++q) ind.add(ids[q], *mine[q], tb, 1.0);
    for (const OutRot& o : finish_entry(ind, nullptr, 0.0, tb, opt.keep))
      lines.push_back(record(kNames[std::size_t(t)], "  all", "  all", o, tb));
    if (RotamerLibrary::nchi(kNames[std::size_t(t)]) > 2) {
      // The tail of every core bin with residues: chi3 (and chi4) given the chi1 and chi2 wells.
      const TypeBins tt = type_bins(t, opt.fine, true);
      for (int core = 0; core < tb.nrot; ++core) {
        Sums tail(tt.nrot);
        for (std::size_t q = 0; q < mine.size(); ++q)
          if (ids[q] == core) tail.add(rotamer_id(*mine[q], tt), *mine[q], tt, 1.0);
        if (tail.total <= 0.0) continue;
        std::string w1 = ffmt::fmt_i(well_centre(core / tb.bins[1].n), 5);
        std::string w2 = ffmt::fmt_i(well_centre(core % tb.bins[1].n), 5);
        for (const OutRot& o : finish_entry(tail, nullptr, 0.0, tt, opt.keep))
          lines.push_back(record(kNames[std::size_t(t)], " given" + w1, w2, o, tt));
      }
    }

    // Samples with both torsions, and their kernel factors per cell centre along each axis,
    // for the kernel widths 1, 2 and 4 times sigma.
    std::vector<std::size_t> bb;
    for (std::size_t q = 0; q < mine.size(); ++q)
      if (std::isfinite(mine[q]->phi) && std::isfinite(mine[q]->psi)) bb.push_back(q);
    std::array<std::vector<double>, 3> kphi, kpsi;  // [level][cell * bb.size() + m]
    for (int lv = 0; lv < 3; ++lv) {
      double sg = double(opt.sigma) * double(1 << lv);
      kphi[std::size_t(lv)].resize(std::size_t(nc) * bb.size());
      kpsi[std::size_t(lv)].resize(std::size_t(nc) * bb.size());
      for (int i = 0; i < nc; ++i) {
        double centre = -180.0 + opt.cell * (i + 0.5);
        for (std::size_t m = 0; m < bb.size(); ++m) {
          double dphi = wrap180(double(mine[bb[m]]->phi) - centre);
          double dpsi = wrap180(double(mine[bb[m]]->psi) - centre);
          kphi[std::size_t(lv)][std::size_t(i) * bb.size() + m] =
              std::exp(-0.5 * dphi * dphi / (sg * sg));
          kpsi[std::size_t(lv)][std::size_t(i) * bb.size() + m] =
              std::exp(-0.5 * dpsi * dpsi / (sg * sg));
        }
      }
    }
    for (int i = 0; i < nc; ++i) {
      for (int j = 0; j < nc; ++j) {
        Sums cell(tb.nrot);
        for (int lv = 0; lv < 3; ++lv) {
          cell = Sums(tb.nrot);
          const double* fp = kphi[std::size_t(lv)].data() + std::size_t(i) * bb.size();
          const double* fs = kpsi[std::size_t(lv)].data() + std::size_t(j) * bb.size();
          for (std::size_t m = 0; m < bb.size(); ++m) {
            double wt = fp[m] * fs[m];
            if (wt > 1e-9) cell.add(ids[bb[m]], *mine[bb[m]], tb, wt);
          }
          if (cell.total >= double(opt.min_weight)) break;
        }
        std::string phi = ffmt::fmt_i(-180 + opt.cell * i, 5);
        std::string psi = ffmt::fmt_i(-180 + opt.cell * j, 5);
        if (cell.total < double(opt.min_weight)) {
          // Too few residues even within the widest kernel: the independent distribution.
          lines.push_back(std::string(kNames[std::size_t(t)]) + phi + psi + "   all");
          continue;
        }
        for (const OutRot& o : finish_entry(cell, &ind, double(opt.prior), tb, opt.keep))
          lines.push_back(record(kNames[std::size_t(t)], phi, psi, o, tb));
      }
    }
  }
  return lines;
}

namespace {

const char* kUsage =
    "usage: vorb-tools rotamers DIR... [-o FILE] [--cell C] [--sigma S] [--min W] [--prior A] "
    "[--keep F] [--fine 30|60|90]\n       vorb-tools rotamers --check LIB DIR... [--all | --train] "
    "[--backbone DIR]";

float option_number(const Args& args, std::size_t& k) {
  double v = 0;
  if (k + 1 >= args.size() || !ffmt::parse_f(args[k + 1], 0, v) || !std::isfinite(v))
    throw InputError(std::string("option ") + args[k] + " needs a number\n" + kUsage);
  ++k;
  return float(v);
}

double chi_diff(float a, float b, bool folded) {
  double d = std::fabs(wrap180(double(a) - double(b)));
  if (folded && d > 90.0) d = 180.0 - d;
  return d;
}

// Per residue type: residues, and how many have a native within 40 degrees of
// [0] the top rotamer's chi1, [1] the chi1 of one of the top three, [2] the chi1 of any
// rotamer of probability >= 0.01, [3] the top rotamer in chi1 and chi2; [4] rotamers with
// probability >= 0.01 (summed).
struct Tally {
  long n = 0;
  std::array<long, 5> dep{}, ind{};
};

void score(const std::span<const packer::Rotamer> rots, const ChiSample& s, int nchi,
           const std::string& res3, std::array<long, 5>& t) {
  if (rots.empty()) return;
  auto near1 = [&](const packer::Rotamer& r) {
    return chi_diff(r.chi[0], s.chi[0], false) <= 40.0;
  };
  if (near1(rots[0])) ++t[0];
  bool top3 = false, any = false;
  for (std::size_t k = 0; k < rots.size(); ++k) {
    if (k < 3 && near1(rots[k])) top3 = true;
    if (rots[k].prob >= 0.01f) {
      ++t[4];
      if (near1(rots[k])) any = true;
    }
  }
  t[1] += top3;
  t[2] += any;
  if (nchi >= 2 && near1(rots[0]) &&
      chi_diff(rots[0].chi[1], s.chi[1], packer::chi_folded(res3, 2)) <= 40.0)
    ++t[3];
}

// backbone: a directory of models named as the checked files, whose phi/psi replace the
// native ones (residues matched by number and insertion code; residues absent from the model
// are not counted).
int check(const std::string& lib_path, const std::vector<std::string>& dirs, int which,
          const std::string& backbone) {
  std::clock_t t0 = std::clock();
  RotamerLibrary lib = RotamerLibrary::read(lib_path);
  std::printf("%s: read in %.1f ms of processor time\n", lib_path.c_str(),
              1000.0 * double(std::clock() - t0) / CLOCKS_PER_SEC);
  std::vector<std::string> files;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw InputError(dir, 0, "not a directory");
    Split s = split_directory(dir);
    if (which != 1) files.insert(files.end(), s.heldout.begin(), s.heldout.end());
    if (which != 0) files.insert(files.end(), s.train.begin(), s.train.end());
  }
  std::array<Tally, 18> tally{};
  int skipped = 0, unmatched = 0;
  for (const std::string& f : files) {
    Chain native = read_chain(f);
    std::map<std::pair<int, char>, std::pair<float, float>> model_bb;
    if (!backbone.empty()) {
      Chain m = read_chain((fs::path(backbone) / fs::path(f).filename()).string());
      for (std::size_t i = 0; i < m.res.size(); ++i)
        model_bb[{m.res[i].num, m.res[i].icode}] = phi_psi(m, i);
    }
    for (ChiSample s : chain_chi_samples(native, skipped)) {
      if (!backbone.empty()) {
        auto it = model_bb.find({native.res[s.index].num, native.res[s.index].icode});
        if (it == model_bb.end()) {
          ++unmatched;
          continue;
        }
        std::tie(s.phi, s.psi) = it->second;
      }
      const std::string res3 = kNames[std::size_t(s.type)];
      int n = RotamerLibrary::nchi(res3);
      Tally& t = tally[std::size_t(s.type)];
      ++t.n;
      score(lib.lookup(res3, s.phi, s.psi), s, n, res3, t.dep);
      score(lib.lookup(res3, kNaN, kNaN), s, n, res3, t.ind);
    }
  }
  std::printf("%zu chains, %d residues skipped (missing side-chain atoms)", files.size(), skipped);
  if (!backbone.empty())
    std::printf(", phi/psi from the models in %s (%d residues not in them)", backbone.c_str(),
                unmatched);
  std::printf("\n");
  std::printf("chi1 within 40 deg: backbone-dependent (independent)\n");
  std::printf(
      "res       n   top1           top3           any p>=.01     chi1+2 top1    rot p>=.01\n");
  Tally all;
  long n2 = 0, dep2 = 0, ind2 = 0;
  for (std::size_t t = 0; t < tally.size(); ++t) {
    const Tally& x = tally[t];
    if (x.n == 0) continue;
    all.n += x.n;
    for (std::size_t k = 0; k < 5; ++k) {
      all.dep[k] += x.dep[k];
      all.ind[k] += x.ind[k];
    }
    bool two = RotamerLibrary::nchi(kNames[t]) >= 2;
    if (two) {
      n2 += x.n;
      dep2 += x.dep[3];
      ind2 += x.ind[3];
    }
    double n = double(x.n);
    std::printf("%s %6ld   %.3f (%.3f)  %.3f (%.3f)  %.3f (%.3f)  ", kNames[t], x.n,
                double(x.dep[0]) / n, double(x.ind[0]) / n, double(x.dep[1]) / n,
                double(x.ind[1]) / n, double(x.dep[2]) / n, double(x.ind[2]) / n);
    if (two)
      std::printf("%.3f (%.3f)  ", double(x.dep[3]) / n, double(x.ind[3]) / n);
    else
      std::printf("  -            ");
    std::printf("%.1f (%.1f)\n", double(x.dep[4]) / n, double(x.ind[4]) / n);
  }
  if (all.n == 0) throw InputError("no residues with side-chain torsions in the given files");
  double n = double(all.n);
  std::printf("all %6ld   %.3f (%.3f)  %.3f (%.3f)  %.3f (%.3f)  %.3f (%.3f)  %.1f (%.1f)\n", all.n,
              double(all.dep[0]) / n, double(all.ind[0]) / n, double(all.dep[1]) / n,
              double(all.ind[1]) / n, double(all.dep[2]) / n, double(all.ind[2]) / n,
              n2 ? double(dep2) / double(n2) : 0.0, n2 ? double(ind2) / double(n2) : 0.0,
              double(all.dep[4]) / n, double(all.ind[4]) / n);
  return 0;
}

}  // namespace

int cmd_rotamers(const Args& args) {
  std::vector<std::string> dirs;
  std::string out = "data/rotamers", lib, backbone;
  RotamerOptions opt;
  int which = 0;  // check: 0 held-out files, 1 training files, 2 all
  bool checking = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "-o" && k + 1 < args.size()) {
      out = args[++k];
    } else if (a == "--check" && k + 1 < args.size()) {
      checking = true;
      lib = args[++k];
    } else if (a == "--backbone" && k + 1 < args.size()) {
      backbone = args[++k];
    } else if (a == "--all") {
      which = 2;
    } else if (a == "--train") {
      which = 1;
    } else if (a == "--cell") {
      float c = option_number(args, k);
      if (!(c >= 5.0f && c <= 360.0f) || c != std::floor(c) || 360 % int(c) != 0)
        throw InputError("--cell must divide 360 and be at least 5");
      opt.cell = int(c);
    } else if (a == "--fine") {
      float f = option_number(args, k);
      if (f != 30.0f && f != 60.0f && f != 90.0f) throw InputError("--fine must be 30, 60 or 90");
      opt.fine = int(f);
    } else if (a == "--sigma") {
      opt.sigma = option_number(args, k);
      if (!(opt.sigma > 0.0f)) throw InputError("--sigma must be positive");
    } else if (a == "--min") {
      opt.min_weight = option_number(args, k);
    } else if (a == "--prior") {
      opt.prior = option_number(args, k);
      if (!(opt.prior >= 0.0f)) throw InputError("--prior must not be negative");
    } else if (a == "--keep") {
      opt.keep = option_number(args, k);
      if (!(opt.keep > 0.0f && opt.keep <= 1.0f)) throw InputError("--keep must lie in (0, 1]");
    } else if (!a.empty() && a[0] == '-') {
      throw InputError(kUsage);
    } else {
      dirs.push_back(a);
    }
  }
  if (dirs.empty()) throw InputError(kUsage);
  if (checking) return check(lib, dirs, which, backbone);

  std::vector<std::string> files;
  for (const std::string& dir : dirs) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw InputError(dir, 0, "not a directory");
    Split s = split_directory(dir);
    if (s.train.empty()) throw InputError(dir, 0, "no training *.pdb files");
    files.insert(files.end(), s.train.begin(), s.train.end());
  }
  std::vector<ChiSample> samples;
  int skipped = 0;
  long with_bb = 0;
  for (const std::string& f : files) {
    Chain c = read_chain(f);
    if (c.res.empty()) throw InputError(f, 0, "no ATOM records");
    std::vector<ChiSample> v = chain_chi_samples(c, skipped);
    samples.insert(samples.end(), v.begin(), v.end());
  }
  for (const ChiSample& s : samples) with_bb += std::isfinite(s.phi) && std::isfinite(s.psi);
  std::vector<std::string> lines = rotamer_library_lines(samples, opt);
  OutputFile of(out);
  for (const std::string& l : lines) of.line(l);
  of.commit();
  std::printf("chains: %zu\n", files.size());
  std::printf("%zu side chains (%ld with phi and psi), %d skipped for a missing atom\n",
              samples.size(), with_bb, skipped);
  std::printf("%s: %zu rotamer records, cell %d deg\n", out.c_str(), lines.size() - 3, opt.cell);
  return 0;
}

}  // namespace vorb::tools
