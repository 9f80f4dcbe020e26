#include "packer/rotamers.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>

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

int type_index(std::string_view res3) {
  for (std::size_t t = 0; t < kTypes.size(); ++t)
    if (kTypes[t].res3 == res3) return int(t);
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
  while (k < t.size() && t[k] >= '0' && t[k] <= '9' && digits < 9) ip = ip * 10 + (t[k++] - '0'), ++digits;
  if (k < t.size() && t[k] == '.') {
    ++k;
    int fd = 0;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9' && fd < 9) fp = fp * 10 + (t[k++] - '0'), scale *= 10, ++fd;
    digits += fd;
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
  std::ifstream in;
  if (!open_input(in, path)) throw InputError(path, 0, "rotamer library not found");
  return read_stream(in, path);
}

RotamerLibrary RotamerLibrary::read_stream(std::istream& in, const std::string& path) {
  RotamerLibrary lib;
  std::string line;
  int line_no = 0;
  // Header: "rotamers cell C" with C dividing 360.
  while (ffmt::get_line(in, line)) {
    ++line_no;
    Words w = split_words(line);
    if (w.empty() || w[0][0] == '#') continue;
    long c = 0;
    if (w.size() != 3 || w[0] != "rotamers" || w[1] != "cell" || !ffmt::parse_i(w[2], c) ||
        c < 1 || c > 360 || 360 % c != 0)
      throw InputError(path, line_no, "expected header \"rotamers cell C\", C dividing 360");
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
  auto cell_of = [&](std::string_view word, const char* what) {
    long v = 0;
    if (!ffmt::parse_i(word, v) || v < -180 || v >= 180 || (v + 180) % lib.cell_ != 0)
      throw InputError(path, line_no,
                       std::string("expected ") + what + " cell start (-180 + a multiple of " +
                           std::to_string(lib.cell_) + "), found \"" + std::string(word) + "\"");
    return std::size_t((v + 180) / lib.cell_);
  };
  while (ffmt::get_line(in, line)) {
    ++line_no;
    Words w = split_words(line);
    if (w.empty() || w[0][0] == '#') continue;
    int t = type_index(w[0]);
    if (t < 0)
      throw InputError(path, line_no, "unknown residue \"" + std::string(w[0]) + "\"");
    const int n = kTypes[std::size_t(t)].nchi;
    if (w.size() == 4 && w[3] == "all" && w[1] != "all") {
      // A cell that answers with the backbone-independent distribution.
      std::size_t i = cell_of(w[1], "phi"), j = cell_of(w[2], "psi");
      std::size_t slot = std::size_t(t) * nentry + 1 + i * std::size_t(lib.ncell_) + j;
      if (first_line[slot] != 0)
        throw InputError(path, line_no, "cell listed twice (as rotamers and as \"all\")");
      first_line[slot] = -line_no;
      continue;
    }
    if (w.size() != 4 + 2 * std::size_t(n))
      throw InputError(path, line_no,
                       "expected " + std::to_string(4 + 2 * n) + " fields for " +
                           std::string(w[0]) + ": residue, phi, psi, probability, then chi and "
                           "spread of each torsion");
    std::size_t entry = 0;
    if (w[1] == "all" && w[2] == "all") {
      entry = 0;
    } else {
      std::size_t i = cell_of(w[1], "phi"), j = cell_of(w[2], "psi");
      entry = 1 + i * std::size_t(lib.ncell_) + j;
    }
    Rotamer r;
    double p = number(w[3], "probability");
    if (!(p > 0.0 && p <= 1.0))
      throw InputError(path, line_no, "probability must lie in (0, 1]");
    r.prob = float(p);
    for (int k = 0; k < n; ++k) {
      double x = number(w[4 + 2 * std::size_t(k)], "chi");
      double s = number(w[5 + 2 * std::size_t(k)], "spread");
      bool folded = kTypes[std::size_t(t)].folded[std::size_t(k)];
      if (folded ? !(x >= -90.0 && x < 90.0) : !(x > -180.0 && x <= 180.0))
        throw InputError(path, line_no,
                         std::string("chi") + std::to_string(k + 1) + " outside " +
                             (folded ? "[-90, 90)" : "(-180, 180]"));
      if (!(s >= 0.0 && s <= 180.0))
        throw InputError(path, line_no, "spread must lie in [0, 180]");
      r.chi[std::size_t(k)] = float(x);
      r.sd[std::size_t(k)] = float(s);
    }
    std::size_t slot = std::size_t(t) * nentry + entry;
    if (first_line[slot] < 0)
      throw InputError(path, line_no, "cell listed twice (as rotamers and as \"all\")");
    if (rows[slot].empty()) first_line[slot] = line_no;
    rows[slot].push_back(r);
  }

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
          int i = int((e - 1) / std::size_t(lib.ncell_)), j = int((e - 1) % std::size_t(lib.ncell_));
          where = "phi " + std::to_string(-180 + i * lib.cell_) + " psi " +
                  std::to_string(-180 + j * lib.cell_);
        }
        throw InputError(path, 0,
                         "no rotamers for " + std::string(kTypes[t].res3) + " (" + where + ")");
      }
      double sum = 0;
      for (const Rotamer& r : v) sum += r.prob;
      if (std::fabs(sum - 1.0) > 0.01)
        throw InputError(path, first_line[t * nentry + e],
                         "probabilities of the cell starting here sum to " + std::to_string(sum) +
                             ", not 1");
      for (Rotamer& r : v) r.prob = float(r.prob / sum);
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

std::span<const Rotamer> RotamerLibrary::lookup(std::string_view res3, float phi,
                                                float psi) const {
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
