#include "packer/rotamers.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "io/ffmt.hpp"
#include "io/input_file.hpp"
#include "model/errors.hpp"

namespace vorb::packer {
namespace {

struct TypeChis {
  std::string_view res3;
  int nchi;
  // Atoms of chi1..chi4 after N, CA: chi k runs over atoms k-1 .. k+2 of this list.
  std::array<std::string_view, 6> atoms;
  std::array<bool, 4> folded;
};

// The residue types with side-chain torsions, in the library's table order (the order of the
// program's residue types, GLY and ALA left out).
constexpr std::array<TypeChis, 18> kTypes = {{
    {"SER", 1, {" N  ", " CA ", " CB ", " OG "}, {}},
    {"CYS", 1, {" N  ", " CA ", " CB ", " SG "}, {}},
    {"VAL", 1, {" N  ", " CA ", " CB ", " CG1"}, {}},
    {"THR", 1, {" N  ", " CA ", " CB ", " OG1"}, {}},
    {"ILE", 2, {" N  ", " CA ", " CB ", " CG1", " CD1"}, {}},
    {"PRO", 2, {" N  ", " CA ", " CB ", " CG ", " CD "}, {}},
    {"MET", 3, {" N  ", " CA ", " CB ", " CG ", " SD ", " CE "}, {}},
    {"ASP", 2, {" N  ", " CA ", " CB ", " CG ", " OD1"}, {false, true}},
    {"ASN", 2, {" N  ", " CA ", " CB ", " CG ", " OD1"}, {}},
    {"LEU", 2, {" N  ", " CA ", " CB ", " CG ", " CD1"}, {}},
    {"LYS", 4, {" N  ", " CA ", " CB ", " CG ", " CD ", " CE "}, {}},
    {"GLU", 3, {" N  ", " CA ", " CB ", " CG ", " CD ", " OE1"}, {false, false, true}},
    {"GLN", 3, {" N  ", " CA ", " CB ", " CG ", " CD ", " OE1"}, {}},
    {"ARG", 4, {" N  ", " CA ", " CB ", " CG ", " CD ", " NE "}, {}},
    {"HIS", 2, {" N  ", " CA ", " CB ", " CG ", " ND1"}, {}},
    {"PHE", 2, {" N  ", " CA ", " CB ", " CG ", " CD1"}, {false, true}},
    {"TYR", 2, {" N  ", " CA ", " CB ", " CG ", " CD1"}, {false, true}},
    {"TRP", 2, {" N  ", " CA ", " CB ", " CG ", " CD1"}, {}},
}};

// Three letters as one integer: the type search compares integers, not strings (it runs for
// every line of the library and every residue packed).
constexpr std::uint32_t code3(std::string_view r) {
  return std::uint32_t(std::uint8_t(r[0])) << 16 | std::uint32_t(std::uint8_t(r[1])) << 8 |
         std::uint32_t(std::uint8_t(r[2]));
}

constexpr std::array<std::uint32_t, kTypes.size()> kTypeCodes = [] {
  std::array<std::uint32_t, kTypes.size()> c{};
  for (std::size_t t = 0; t < kTypes.size(); ++t) c[t] = code3(kTypes[t].res3);
  return c;
}();

int type_index(std::string_view res3) {
  if (res3.size() != 3) return -1;
  const std::uint32_t c = code3(res3);
  for (std::size_t t = 0; t < kTypeCodes.size(); ++t)
    if (kTypeCodes[t] == c) return int(t);
  return -1;
}

// Combinations of a factorised type kept per cell: the most probable ones covering this share,
// none below kMinProb.
constexpr double kKeep = 0.99, kMinProb = 0.001;

// Well 0 (centred at 60), 1 (180) or 2 (-60) of an sp3 torsion.
int well_of(float deg) {
  float y = std::fmod(deg, 360.0f);
  if (y < 0.0f) y += 360.0f;
  return std::min(int(y / 120.0f), 2);
}

int well_index(std::string_view w) {
  if (w == "60") return 0;
  if (w == "180") return 1;
  if (w == "-60") return 2;
  return -1;
}

// The fourth atom of LYS chi4 and ARG chi4, beyond the six-atom list.
std::string_view chi4_last(std::string_view res3) { return res3 == "LYS" ? " NZ " : " CZ "; }

// The blank-separated words of a line, at most kMaxWords (more: count kMaxWords + 1).
constexpr std::size_t kMaxWords = 12;
struct Words {
  std::array<std::string_view, kMaxWords> w;
  std::size_t n = 0;
  std::string_view operator[](std::size_t k) const { return w[k]; }
  std::size_t size() const { return n; }
  bool empty() const { return n == 0; }
};

Words split_words(std::string_view line) {
  Words w;
  std::size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    std::size_t q = p;
    while (q < line.size() && line[q] != ' ' && line[q] != '\t') ++q;
    if (q > p) {
      if (w.n == kMaxWords) {
        w.n = kMaxWords + 1;
        return w;
      }
      w.w[w.n++] = line.substr(p, q - p);
    }
    p = q;
  }
  return w;
}

// A plain decimal ("-65.3", "0.1234", "12") read directly, as the file writes it; anything else
// goes through the general reader. The library is read at every start of a packing run, so the
// common case must be fast.
bool parse_number(std::string_view t, double& out) {
  std::size_t k = 0;
  bool neg = false;
  if (k < t.size() && (t[k] == '-' || t[k] == '+')) neg = t[k++] == '-';
  long ip = 0, fp = 0, scale = 1;
  int digits = 0;
  auto digit = [&] { return k < t.size() && t[k] >= '0' && t[k] <= '9'; };
  for (; digit() && digits < 9; ++digits) ip = ip * 10 + (t[k++] - '0');
  if (k < t.size() && t[k] == '.') {
    ++k;
    for (int fd = 0; digit() && fd < 9; ++fd, ++digits) {
      fp = fp * 10 + (t[k++] - '0');
      scale *= 10;
    }
  }
  if (k == t.size() && digits > 0) {
    out = (double(ip) + double(fp) / double(scale)) * (neg ? -1.0 : 1.0);
    return true;
  }
  return ffmt::parse_f(t, 0, out);
}

}  // namespace

std::array<std::string_view, 4> chi_atoms(std::string_view res3, int k) {
  int t = type_index(res3);
  if (t < 0 || k < 1 || k > kTypes[std::size_t(t)].nchi) return {"", "", "", ""};
  const auto& a = kTypes[std::size_t(t)].atoms;
  std::size_t b = std::size_t(k - 1);
  if (k == 4) return {a[3], a[4], a[5], chi4_last(res3)};
  return {a[b], a[b + 1], a[b + 2], a[b + 3]};
}

bool chi_folded(std::string_view res3, int k) {
  int t = type_index(res3);
  if (t < 0 || k < 1 || k > kTypes[std::size_t(t)].nchi) return false;
  return kTypes[std::size_t(t)].folded[std::size_t(k - 1)];
}

float chi_convention(float deg, bool folded) {
  if (!std::isfinite(deg)) return deg;
  float x = std::fmod(deg, 360.0f);
  if (x > 180.0f) x -= 360.0f;
  if (x <= -180.0f) x += 360.0f;
  if (folded) {
    if (x >= 90.0f) x -= 180.0f;
    if (x < -90.0f) x += 180.0f;
  }
  return x;
}

int RotamerLibrary::nchi(std::string_view res3) {
  if (res3 == "GLY" || res3 == "ALA") return 0;
  int t = type_index(res3);
  return t < 0 ? -1 : kTypes[std::size_t(t)].nchi;
}

RotamerLibrary RotamerLibrary::read(const std::string& path) {
  InputFile in;
  if (!open_input(in, path)) throw InputError(path, 0, "rotamer library not found");
  return read_stream(in, path);
}

RotamerLibrary RotamerLibrary::read_stream(std::istream& in, const std::string& path) {
  RotamerLibrary lib;
  // The whole text at once, cut into lines here: the library is read at the start of every
  // packing run.
  std::string text;
  {
    std::ostringstream all;
    all << in.rdbuf();
    text = std::move(all).str();
  }
  std::size_t pos = 0;
  std::string_view line;
  auto next_line = [&]() {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    line = std::string_view(text).substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    return true;
  };
  int line_no = 0;
  // Header: "rotamers cell C" with C dividing 360, at least 5 (the tables grow as 1/C^2).
  while (next_line()) {
    ++line_no;
    Words w = split_words(line);
    if (w.empty() || w[0][0] == '#') continue;
    long c = 0;
    if (w.size() != 3 || w[0] != "rotamers" || w[1] != "cell" || !ffmt::parse_i(w[2], c) || c < 5 ||
        c > 360 || 360 % c != 0)
      throw InputError(path, line_no, "expected header \"rotamers cell C\", C >= 5 dividing 360");
    lib.cell_ = int(c);
    break;
  }
  if (lib.cell_ == 0) throw InputError(path, line_no, "no header \"rotamers cell C\"");
  lib.ncell_ = 360 / lib.cell_;
  const std::size_t nentry = 1 + std::size_t(lib.ncell_) * std::size_t(lib.ncell_);

  // Rotamers of every (type, entry), with the line of the entry's first record.
  std::vector<std::vector<Rotamer>> rows(kTypes.size() * nentry);
  std::vector<int> first_line(rows.size(), 0);
  auto number = [&](std::string_view word, const char* what) {
    double v = 0;
    if (!parse_number(word, v) || !std::isfinite(v))
      throw InputError(path, line_no,
                       std::string("expected ") + what + ", found \"" + std::string(word) + "\"");
    return v;
  };
  auto probability = [&](std::string_view word) {
    double p = number(word, "probability");
    if (!(p > 0.0 && p <= 1.0)) throw InputError(path, line_no, "probability must lie in (0, 1]");
    return float(p);
  };
  auto read_chi = [&](Rotamer& r, std::size_t t, int k, std::string_view cw, std::string_view sw) {
    double x = number(cw, "chi");
    double s = number(sw, "spread");
    bool folded = kTypes[t].folded[std::size_t(k)];
    if (folded ? !(x >= -90.0 && x < 90.0) : !(x > -180.0 && x <= 180.0))
      throw InputError(path, line_no,
                       std::string("chi") + std::to_string(k + 1) + " outside " +
                           (folded ? "[-90, 90)" : "(-180, 180]"));
    if (!(s >= 0.0 && s <= 180.0)) throw InputError(path, line_no, "spread must lie in [0, 180]");
    r.chi[std::size_t(k)] = float(x);
    r.sd[std::size_t(k)] = float(s);
  };
  // Tails of the factorised types: [type * 9 + well1 * 3 + well2].
  std::vector<std::vector<Rotamer>> tails(kTypes.size() * 9);
  std::vector<int> tail_line(tails.size(), 0);
  auto cell_of = [&](std::string_view word, const char* what) {
    double d = 0;
    long v = parse_number(word, d) && d == std::floor(d) && std::fabs(d) < 1e6 ? long(d) : 9999;
    if (v < -180 || v >= 180 || (v + 180) % lib.cell_ != 0)
      throw InputError(path, line_no,
                       std::string("expected ") + what + " cell start (-180 + a multiple of " +
                           std::to_string(lib.cell_) + "), found \"" + std::string(word) + "\"");
    return std::size_t((v + 180) / lib.cell_);
  };
  while (next_line()) {
    ++line_no;
    Words w = split_words(line);
    if (w.empty() || w[0][0] == '#') continue;
    int t = type_index(w[0]);
    if (t < 0) throw InputError(path, line_no, "unknown residue \"" + std::string(w[0]) + "\"");
    const int n = kTypes[std::size_t(t)].nchi;
    if (w[1] == "given") {
      // chi3 (and chi4) of a factorised type, given the wells of chi1 and chi2.
      if (n < 3) throw InputError(path, line_no, std::string(w[0]) + " has no \"given\" records");
      if (w.size() != 5 + 2 * std::size_t(n - 2))
        throw InputError(path, line_no,
                         "expected " + std::to_string(5 + 2 * (n - 2)) + " fields for " +
                             std::string(w[0]) +
                             " given: residue, given, two wells, probability, "
                             "then chi and spread of each later torsion");
      int w1 = well_index(w[2]), w2 = well_index(w[3]);
      if (w1 < 0 || w2 < 0) throw InputError(path, line_no, "wells must be 60, 180 or -60");
      Rotamer r;
      r.prob = probability(w[4]);
      for (int k = 2; k < n; ++k) {
        std::size_t f = 5 + 2 * std::size_t(k - 2);
        read_chi(r, std::size_t(t), k, w[f], w[f + 1]);
      }
      std::size_t slot = std::size_t(t) * 9 + std::size_t(w1 * 3 + w2);
      if (tails[slot].empty()) tail_line[slot] = line_no;
      tails[slot].push_back(r);
      continue;
    }
    const int nc = std::min(n, 2);  // torsions of a cell record
    if (w.size() == 4 && w[3] == "all" && w[1] != "all") {
      // A cell that answers with the backbone-independent distribution.
      std::size_t i = cell_of(w[1], "phi"), j = cell_of(w[2], "psi");
      std::size_t slot = std::size_t(t) * nentry + 1 + i * std::size_t(lib.ncell_) + j;
      if (first_line[slot] != 0)
        throw InputError(path, line_no, "cell listed twice (as rotamers and as \"all\")");
      first_line[slot] = -line_no;
      continue;
    }
    if (w.size() != 4 + 2 * std::size_t(nc))
      throw InputError(path, line_no,
                       "expected " + std::to_string(4 + 2 * nc) + " fields for " +
                           std::string(w[0]) +
                           ": residue, phi, psi, probability, then chi and "
                           "spread of each torsion");
    std::size_t entry = 0;
    if (w[1] == "all" && w[2] == "all") {
      entry = 0;
    } else {
      std::size_t i = cell_of(w[1], "phi"), j = cell_of(w[2], "psi");
      entry = 1 + i * std::size_t(lib.ncell_) + j;
    }
    Rotamer r;
    r.prob = probability(w[3]);
    for (int k = 0; k < nc; ++k)
      read_chi(r, std::size_t(t), k, w[4 + 2 * std::size_t(k)], w[5 + 2 * std::size_t(k)]);
    std::size_t slot = std::size_t(t) * nentry + entry;
    if (first_line[slot] < 0)
      throw InputError(path, line_no, "cell listed twice (as rotamers and as \"all\")");
    if (rows[slot].empty()) first_line[slot] = line_no;
    rows[slot].push_back(r);
  }

  // Tail distributions sum to 1; each is renormalised.
  for (std::size_t q = 0; q < tails.size(); ++q) {
    double sum = 0;
    for (const Rotamer& r : tails[q]) sum += r.prob;
    if (!tails[q].empty() && std::fabs(sum - 1.0) > 0.01)
      throw InputError(path, tail_line[q],
                       "probabilities of the \"given\" records starting here sum to " +
                           std::to_string(sum) + ", not 1");
    for (Rotamer& r : tails[q]) r.prob = float(r.prob / sum);
  }
  // A cell of a factorised type: every core (chi1, chi2) combined with the tail of its wells,
  // the most probable combinations covering kKeep kept.
  auto expand = [&](const std::vector<Rotamer>& cores, std::size_t t, int line) {
    std::vector<Rotamer> out;
    for (const Rotamer& c : cores) {
      int w1 = well_of(c.chi[0]), w2 = well_of(c.chi[1]);
      const std::vector<Rotamer>& tl = tails[t * 9 + std::size_t(w1 * 3 + w2)];
      if (tl.empty())
        throw InputError(path, line,
                         "no \"given\" records for " + std::string(kTypes[t].res3) +
                             " with chi1 and chi2 in the wells of " + std::to_string(c.chi[0]) +
                             " and " + std::to_string(c.chi[1]));
      for (const Rotamer& x : tl) {
        Rotamer r = c;
        r.prob = c.prob * x.prob;
        for (std::size_t k = 2; k < 4; ++k) {
          r.chi[k] = x.chi[k];
          r.sd[k] = x.sd[k];
        }
        out.push_back(r);
      }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Rotamer& a, const Rotamer& b) { return a.prob > b.prob; });
    double cum = 0;
    std::size_t n = 0;
    while (n < out.size() && (n == 0 || (cum < kKeep && out[n].prob >= kMinProb)))
      cum += out[n++].prob;
    out.resize(n);
    for (Rotamer& r : out) r.prob = float(r.prob / cum);
    return out;
  };

  for (std::size_t t = 0; t < kTypes.size(); ++t) {
    Table& tab = lib.tables_[t];
    tab.off.reserve(nentry);
    tab.count.reserve(nentry);
    for (std::size_t e = 0; e < nentry; ++e) {
      std::vector<Rotamer>& v = rows[t * nentry + e];
      if (first_line[t * nentry + e] < 0) {
        tab.off.push_back(tab.off[0]);
        tab.count.push_back(tab.count[0]);
        continue;
      }
      if (v.empty()) {
        std::string where = "backbone-independent";
        if (e > 0) {
          int i = int((e - 1) / std::size_t(lib.ncell_)),
              j = int((e - 1) % std::size_t(lib.ncell_));
          where = "phi " + std::to_string(-180 + i * lib.cell_) + " psi " +
                  std::to_string(-180 + j * lib.cell_);
        }
        throw InputError(path, 0,
                         "no rotamers for " + std::string(kTypes[t].res3) + " (" + where + ")");
      }
      double sum = 0;
      for (const Rotamer& r : v) sum += r.prob;
      if (std::fabs(sum - 1.0) > 0.01)
        throw InputError(
            path, first_line[t * nentry + e],
            "probabilities of the cell starting here sum to " + std::to_string(sum) + ", not 1");
      for (Rotamer& r : v) r.prob = float(r.prob / sum);
      if (kTypes[t].nchi > 2) v = expand(v, t, first_line[t * nentry + e]);
      std::stable_sort(v.begin(), v.end(),
                       [](const Rotamer& a, const Rotamer& b) { return a.prob > b.prob; });
      tab.off.push_back(std::uint32_t(tab.rot.size()));
      tab.count.push_back(std::uint32_t(v.size()));
      tab.rot.insert(tab.rot.end(), v.begin(), v.end());
      std::vector<Rotamer>().swap(v);
    }
    tab.rot.shrink_to_fit();
  }
  return lib;
}

std::span<const Rotamer> RotamerLibrary::lookup(std::string_view res3, float phi, float psi) const {
  int t = type_index(res3);
  if (t < 0 || ncell_ == 0) return {};
  const Table& tab = tables_[std::size_t(t)];
  std::size_t e = 0;
  if (std::isfinite(phi) && std::isfinite(psi)) {
    auto cell = [&](float a) {
      float x = std::fmod(a + 180.0f, 360.0f);
      if (x < 0.0f) x += 360.0f;
      int i = int(x / float(cell_));
      return std::size_t(std::clamp(i, 0, ncell_ - 1));
    };
    e = 1 + cell(phi) * std::size_t(ncell_) + cell(psi);
  }
  return std::span<const Rotamer>(tab.rot.data() + tab.off[e], tab.count[e]);
}

}  // namespace vorb::packer
