#include "restraints/hblist.hpp"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/sort.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/input_file.hpp"
#include "io/output_file.hpp"
#include "model/capacity.hpp"

namespace vorb {
namespace {

struct Bond {
  int d = 0;  // donor N atom
  int a = 0;  // acceptor O atom
};

void say(const ffmt::ListWriter& w) { message_stream() << w.str() << '\n'; }

bool is_restraint_mode(const ModelState& s) { return s.mode_is("6") || s.mode_is("66"); }

bool is_backbone_pair(const ModelState& s, int d, int a) {
  return s.atomty(d) == " N  " && s.atomty(a) == " O  ";
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> f;
  auto sep = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  std::size_t k = 0;
  while (k < line.size()) {
    while (k < line.size() && sep(line[k])) ++k;
    std::size_t b = k;
    while (k < line.size() && !sep(line[k])) ++k;
    if (k > b) f.push_back(line.substr(b, k - b));
  }
  return f;
}

// A label run into a residue number of four or more digits ("N1000"): PRHB2 gives the label two
// columns and the number four, so from residue 1000 on nothing separates them.
bool glued_number(std::string_view tok, std::string_view& num) {
  std::size_t k = 0;
  while (k < tok.size() && std::isalpha(static_cast<unsigned char>(tok[k]))) ++k;
  if (k == 0 || tok.size() - k < 4) return false;
  for (std::size_t q = k; q < tok.size(); ++q)
    if (!std::isdigit(static_cast<unsigned char>(tok[q]))) return false;
  num = tok.substr(k);
  return true;
}

// Donor and acceptor residue numbers of one PRHB line (fields 3 and 5; the running number and
// the two labels are not interpreted). False when the line does not hold them.
bool parse_prhb_line(std::string_view line, int& rd, int& ra) {
  std::vector<std::string_view> f = split_fields(line);
  std::size_t k = 1;  // past the running number
  auto residue = [&](int& r) {
    if (k >= f.size()) return false;
    std::string_view num;
    if (!glued_number(f[k++], num)) {
      if (k >= f.size()) return false;
      num = f[k++];
    }
    long v = 0;
    if (!ffmt::parse_i(num, v)) return false;
    r = int(v);
    return true;
  };
  return residue(rd) && residue(ra);
}

bool blank_line(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

std::vector<Bond> read_prhb(const ModelState& s) {
  std::vector<Bond> bonds;
  InputFile in;
  if (!open_input(in, "PRHB")) return bonds;
  for (const auto& [d, a] : read_prhb_stream(s, in)) bonds.push_back(Bond{d, a});
  return bonds;
}

}  // namespace

std::vector<std::pair<int, int>> read_prhb_stream(const ModelState& s, std::istream& in) {
  std::vector<std::pair<int, int>> bonds;
  std::string line;
  int skipped = 0;
  while (ffmt::get_line(in, line)) {
    if (blank_line(line)) continue;
    int rd = 0, ra = 0;
    if (!parse_prhb_line(line, rd, ra) || rd < 1 || rd > s.nres || ra < 1 || ra > s.nres) {
      ++skipped;
      continue;
    }
    const int d = s.ica(rd) - 1, a = s.ica(ra) + 2;
    if (d < 1 || d > s.natom || a < 1 || a > s.natom) {
      ++skipped;
      continue;
    }
    bonds.emplace_back(d, a);
  }
  if (skipped > 0)
    say(ffmt::ListWriter() << "warning: " + std::to_string(skipped) +
                                  " PRHB lines skipped (unreadable, or a residue outside 1.." +
                                  std::to_string(s.nres) + ")");
  return bonds;
}

namespace {

// Consensus of the sequence-file codes (sscode) and the torsion codes (seq2): 1, 2 or 4.
void consensus_codes(ModelState& s) {
  const int nres = s.nres;
  auto ends = [&] {
    if (nres < 2) return;
    s.sscode(1) = s.sscode(2);
    s.sscode(nres) = s.sscode(nres - 1);
  };
  ends();
  for (int r = 1; r <= nres; ++r) {
    int c = s.sscode(r), t = s.seq2(r, 1);
    s.sscode(r) = (c == 2 || t == 2) ? 2 : (c == 4 && t == 4) ? 4 : 1;
  }
  // A code shared with none of the two residues on either side becomes coil; a position
  // before residue 1 counts as different.
  for (int r = 2; r <= nres - 2; ++r) {
    int c = s.sscode(r);
    bool lone = (r - 2 < 1 || s.sscode(r - 2) != c) && s.sscode(r - 1) != c &&
                s.sscode(r + 1) != c && s.sscode(r + 2) != c;
    if (lone) s.sscode(r) = 1;
  }
  // A single residue between two equal codes takes them.
  for (int r = 2; r <= nres - 1; ++r) {
    int c = s.sscode(r), lo = s.sscode(r - 1), hi = s.sscode(r + 1);
    if (c != lo && c != hi && lo == hi) s.sscode(r) = lo;
  }
  ends();
}

// Element number of every residue (index 0 unused): -s on strand s when it lies within 5.9 A
// (C-alpha) of another strand, h on helix h, 0 elsewhere. Elements are runs of at least four
// equal codes 2 or 4; the residue right after an element never starts one.
std::vector<int> element_of_residue(const ModelState& s) {
  const int nres = s.nres;
  struct Run {
    int first, last;
  };
  std::vector<Run> strands, helices;
  int r = 1;
  while (r < nres) {
    int c = s.sscode(r);
    if (c == 4 || c == 2) {
      int j = r;
      while (j <= nres && s.sscode(j) == c) ++j;
      if (j - r >= 4) {
        (c == 4 ? strands : helices).push_back({r, j - 1});
        r = j + 1;
        continue;
      }
    }
    ++r;
  }

  std::vector<int> e(std::size_t(nres) + 1, 0);
  auto close = [&](int i, int k) {
    int a = s.ica(i), b = s.ica(k);
    float dx = s.xx(a) - s.xx(b), dy = s.yy(a) - s.yy(b), dz = s.zz(a) - s.zz(b);
    return dx * dx + dy * dy + dz * dz <= 34.81f;
  };
  if (strands.size() >= 2) {
    for (std::size_t m = 0; m < strands.size(); ++m) {
      bool paired = false;
      for (std::size_t o = 0; o < strands.size() && !paired; ++o) {
        if (o == m) continue;
        for (int i = strands[m].first; i <= strands[m].last && !paired; ++i)
          for (int k = strands[o].first; k <= strands[o].last && !paired; ++k) paired = close(i, k);
      }
      if (paired)
        for (int i = strands[m].first; i <= strands[m].last; ++i) e[std::size_t(i)] = -int(m + 1);
    }
  }
  for (std::size_t h = 0; h < helices.size(); ++h)
    for (int i = helices[h].first; i <= helices[h].last; ++i) e[std::size_t(i)] = int(h + 1);
  return e;
}

// Backbone bonds of the current list: those between non-strand residues (list A) and those
// with a strand residue (list B). Of two consecutive strand bonds from one donor atom only one
// is kept: the first is dropped when the acceptors of the two following bonds lie two residues
// apart, otherwise the second is removed from the list (its donor set to 0).
void split_current_bonds(ModelState& s, const std::vector<int>& e, std::vector<Bond>& list_a,
                         std::vector<Bond>& list_b) {
  const int nhb = s.nhb;
  for (int h = 1; h <= nhb; ++h) {
    int d = s.hbpair(h, 1), a = s.hbpair(h, 2);
    if (d <= 0 || !is_backbone_pair(s, d, a)) continue;
    int rd = s.ress(d), ra = s.ress(a);
    int sum = s.sscode(rd) + s.sscode(ra);
    if (sum >= 1 && sum <= 4) {
      list_a.push_back({d, a});
      continue;
    }
    bool take = true;
    if (h < nhb - 1 && s.hbpair(h + 1, 1) == d && s.hbpair(h + 2, 1) > 0 &&
        e[std::size_t(s.ress(s.hbpair(h + 2, 1)))] == e[std::size_t(rd)]) {
      int a1 = s.ress(s.hbpair(h + 1, 2)), a2 = s.ress(s.hbpair(h + 2, 2));
      if (std::abs(a2 - a1) == 2)
        take = false;
      else
        s.hbpair(h + 1, 1) = 0;
    }
    if (take) list_b.push_back({d, a});
  }
}

// Sorts reshbn(1..npredhb) by donor atom with sortindex (its order for equal donors).
void sort_by_donor(ModelState& s) {
  const int np = s.npredhb;
  std::vector<float> key(static_cast<std::size_t>(np));
  std::vector<Bond> rows(static_cast<std::size_t>(np));
  for (int p = 1; p <= np; ++p) {
    key[std::size_t(p - 1)] = float(s.reshbn(p, 1));
    rows[std::size_t(p - 1)] = {s.reshbn(p, 1), s.reshbn(p, 2)};
  }
  std::vector<int> idx = sortindex(key);
  for (int p = 1; p <= np; ++p) {
    const Bond& b = rows[std::size_t(idx[std::size_t(p - 1)] - 1)];
    s.reshbn(p, 1) = b.d;
    s.reshbn(p, 2) = b.a;
  }
}

int donor_res(const ModelState& s, int p) { return s.ress(s.reshbn(p, 1)); }
int acceptor_res(const ModelState& s, int p) { return s.ress(s.reshbn(p, 2)); }

// Types of a sorted list of at least two bonds.
void assign_types(ModelState& s) {
  const int np = s.npredhb;
  for (int p = 1; p <= np; ++p) {
    int rd = donor_res(s, p), ra = acceptor_res(s, p);
    int cd = s.sscode(rd), ca = s.sscode(ra);
    int t = 0;
    if (cd == 2 || ca == 2) {
      t = 1;
    } else if (cd == 4 && ca == 4) {
      // Neighbours shifted by the same amount at both ends: parallel strands.
      if (p == 1 || p == np)
        t = 2;
      else if (donor_res(s, p - 1) - rd == acceptor_res(s, p - 1) - ra ||
               donor_res(s, p + 1) - rd == acceptor_res(s, p + 1) - ra)
        t = 3;
      else
        t = 2;
    } else if (rd - ra >= -3 && rd - ra <= 3) {
      t = 1;
    }
    s.reshbn(p, 3) = t;
  }
}

// Gives untyped bonds the type of their strand neighbours; the two end bonds copy theirs.
void smooth_types(ModelState& s) {
  const int np = s.npredhb;
  auto type = [&](int p) -> int& { return s.reshbn(p, 3); };
  auto dres = [&](int p) { return donor_res(s, p); };
  auto ares = [&](int p) { return acceptor_res(s, p); };
  type(1) = type(2);
  for (int p = 2; p <= np - 1; ++p) {
    if (type(p) != 0) continue;
    int da = s.reshbn(p, 2) - s.reshbn(p - 1, 2);
    if (type(p - 1) == type(p + 1) && type(p - 1) != type(p) && da >= -4 && da <= 4)
      type(p) = type(p - 1);
    if (type(p - 1) > 1 && dres(p) - dres(p - 1) == 2) type(p) = type(p - 1);
    if (type(p + 1) > 1 && dres(p + 1) - dres(p) == 2) type(p) = type(p + 1);
    auto from_pair = [&](int q, int d1, int d2) {
      if (type(q) == 2 && d1 + d2 == 0) type(p) = 2;
      if (type(q) == 3 && d1 == d2 && std::abs(dres(p) - ares(p)) > 5) type(p) = 3;
    };
    if (p > 2) from_pair(p - 2, dres(p) - dres(p - 2), ares(p) - ares(p - 2));
    if (p < np - 1) from_pair(p + 2, dres(p + 2) - dres(p), ares(p + 2) - ares(p));
  }
  type(np) = type(np - 1);
}

// PRHB2: one "(I3,A2,I4,A2,I4,I3,2I3)" record per bond.
std::string prhb2_record(const ModelState& s, int num, int rd, int ra, int t) {
  return ffmt::RecordWriter()
      .i(num, 3)
      .a(" N", 2)
      .i(rd, 4)
      .a(" O", 2)
      .i(ra, 4)
      .i(t, 3)
      .i(s.sscode(rd), 3)
      .i(s.sscode(ra), 3)
      .str();
}

void write_prhb2(ModelState& s) {
  say(ffmt::ListWriter() << "begin to write PRHB2" << s.npredhb);
  OutputFile out("PRHB2");
  int num = 0;
  if (s.mode_is("6")) {
    // The list; bonds within three residues are written untyped.
    for (int p = 1; p <= s.npredhb; ++p) {
      int rd = donor_res(s, p), ra = acceptor_res(s, p);
      int sep = std::abs(rd - ra);
      if (sep <= 1) continue;
      if (sep <= 3) s.reshbn(p, 3) = 0;
      out.line(prhb2_record(s, ++num, rd, ra, s.reshbn(p, 3)));
    }
  } else {
    // The current model's backbone bonds, numbered in list order.
    const int nhb = s.nhb;
    for (int h = 1; h <= nhb; ++h) {
      int d = s.hbpair(h, 1), a = s.hbpair(h, 2);
      if (d <= 0 || !is_backbone_pair(s, d, a)) continue;
      ++num;
      int rd = s.ress(d), ra = s.ress(a);
      if (std::abs(rd - ra) <= 1) continue;
      int cd = s.sscode(rd), ca = s.sscode(ra);
      auto same_shift = [&](int k) {
        int dk = s.hbpair(k, 1);
        return dk > 0 && s.ress(dk) - rd == s.ress(s.hbpair(k, 2)) - ra;
      };
      int t = 0;
      if (cd == 1 || ca == 1)
        t = 1;
      else if (cd == 4 && ca == 4)
        t = (h == 1 || h == nhb) ? 2 : (same_shift(h - 1) || same_shift(h + 1)) ? 3 : 2;
      out.line(prhb2_record(s, num, rd, ra, t));
    }
  }
  out.commit();
}

}  // namespace

void restr_stru(ModelState& s) {
  const int nres = s.nres;
  const bool restraint_mode = is_restraint_mode(s);

  if (nres >= 2) {
    s.seq2(1, 1) = s.seq2(2, 1);
    s.seq2(nres, 1) = s.seq2(nres - 1, 1);
  }

  std::vector<Bond> file = read_prhb(s);
  s.hblok = file.size() >= 2 ? 1 : 0;
  if (s.hblok == 0 && !restraint_mode) {
    s.npredhb = int(file.size());
    for (int p = 1; p <= s.npredhb; ++p) {
      s.reshbn(p, 1) = file[std::size_t(p - 1)].d;
      s.reshbn(p, 2) = file[std::size_t(p - 1)].a;
      s.reshbn(p, 3) = 0;
    }
    return;
  }

  consensus_codes(s);
  std::vector<int> e = element_of_residue(s);
  std::vector<Bond> list_a, list_b;
  split_current_bonds(s, e, list_a, list_b);

  // Strand bonds of the model, then the file's, then the model's others; the first bond of each
  // donor/acceptor residue pair keeps its place.
  std::vector<Bond> merged;
  std::set<std::pair<int, int>> seen;
  for (const auto* part : {&list_b, &file, &list_a})
    for (const Bond& b : *part) {
      if (b.d <= 0 || b.a <= 0) continue;
      if (seen.insert({s.ress(b.d), s.ress(b.a)}).second) merged.push_back(b);
    }
  if (merged.size() > std::size_t(kMaxPredHb)) {
    say(ffmt::ListWriter() << "warning: " + std::to_string(merged.size()) +
                                  " predicted H-bonds, list cut to the first " +
                                  std::to_string(kMaxPredHb));
    merged.resize(std::size_t(kMaxPredHb));
  }
  s.npredhb = int(merged.size());
  for (int p = 1; p <= s.npredhb; ++p) {
    s.reshbn(p, 1) = merged[std::size_t(p - 1)].d;
    s.reshbn(p, 2) = merged[std::size_t(p - 1)].a;
    s.reshbn(p, 3) = 0;
  }

  if (s.npredhb > 1) {
    sort_by_donor(s);
    assign_types(s);
    smooth_types(s);
  }

  int q = 0;
  for (int p = 1; p <= s.npredhb; ++p) {
    if (s.reshbn(p, 1) <= 0) continue;
    ++q;
    for (int c = 1; c <= 3; ++c) s.reshbn(q, c) = s.reshbn(p, c);
  }
  s.npredhb = q;

  if (restraint_mode) write_prhb2(s);
}

}  // namespace vorb
