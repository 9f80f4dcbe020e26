#include "io/aux_read.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string_view>
#include <utility>

#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/input_file.hpp"
#include "model/capacity.hpp"
#include "model/errors.hpp"

namespace vorb {
namespace {

// A free-form text value: one word cut or blank-padded to its field width.
std::string word(std::string w, std::size_t width) {
  w.resize(width, ' ');
  return w;
}

[[noreturn]] void ends_early(const ffmt::ListReader& lr, const std::string& what) {
  throw InputError(lr.file(), lr.line_no() + 1, "file ends before " + what);
}

bool blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// A library record in its usual shape (every field right-justified digits, the reals with a
// point and three decimals) is parsed here directly; anything else goes through the general
// fixed-column reader, which gives the same values and reports malformed fields.
bool plain_record(std::string_view line, int* v, float* q) {
  if (line.size() < 71 || line.find_first_not_of(' ', 71) != std::string_view::npos) return false;
  // The I2 keys: one or two digits, read here (parse_i costs several times more, 8 per record).
  for (int k = 0; k < 8; ++k) {
    const char* f = line.data() + 3 * k;
    if (k > 0 && f[-1] != ' ') return false;
    const unsigned d1 = unsigned(f[1] - '0'), d0 = unsigned(f[0] - '0');
    if (d1 > 9 || (f[0] != ' ' && d0 > 9)) return false;
    v[k] = int(f[0] == ' ' ? d1 : 10 * d0 + d1);
  }
  for (int k = 0; k < 6; ++k) {
    if (line[std::size_t(23 + 8 * k)] != ' ') return false;
    if (!ffmt::parse_point(line.substr(std::size_t(24 + 8 * k), 7), 3, q[k])) return false;
  }
  return true;
}

void warn_dropped(const std::string& file, int dropped, const std::string& why) {
  if (dropped == 0) return;
  message_stream() << (ffmt::ListWriter() << "WARNING!!!" << file + ":" << dropped << why).str() << '\n';
}

bool in_chain(const ModelState& s, int i, int j) {
  return i >= 1 && i <= s.nres && j >= 1 && j <= s.nres;
}

// Reads a restraint file's count; false when it is not a number (nothing is stored then).
bool restraint_count(ffmt::ListReader& lr, int& n) {
  ffmt::ReadStatus st = lr.read(n);
  if (st == ffmt::ReadStatus::eof) ends_early(lr, "its count");
  return st == ffmt::ReadStatus::ok;
}

void store_check(const std::string& path, int m) {
  if (m > kMaxRest) throw CapacityError(path, "restraint rows", kMaxRest);
}

// Reads a restraint file: its count, then up to that many rows. read_row(lr, i, j) reads one
// row's fields and returns the read status; keep() says whether the row passes its own filter;
// finite() whether its values are finite; store(m) writes row m of the table. Rows naming
// residues outside 1..nres, and rows with a value beyond single precision (which would make
// every energy infinite), are dropped and counted. Returns the number of rows stored.
template <class ReadRow, class Keep, class Finite, class Store>
int read_pairs(const ModelState& s, std::istream& in, const std::string& path,
               const std::string& name, ReadRow read_row, Keep keep, Finite finite, Store store) {
  ffmt::ListReader lr(in, path);
  int n = 0;
  if (!restraint_count(lr, n)) return 0;
  int m = 0, outside = 0, infinite = 0;
  for (int k = 1; k <= n; ++k) {
    int i = 0, j = 0;
    ffmt::ReadStatus st = read_row(lr, i, j);
    if (st == ffmt::ReadStatus::eof) ends_early(lr, "record " + std::to_string(k) + " is complete");
    if (st == ffmt::ReadStatus::error) break;
    if (!keep()) continue;
    if (!in_chain(s, i, j)) {
      ++outside;
      continue;
    }
    if (!finite()) {
      ++infinite;
      continue;
    }
    store_check(path, ++m);
    store(m, i, j);
  }
  warn_dropped(name, outside, "rows name residues outside 1.." + std::to_string(s.nres) + ", dropped");
  warn_dropped(name, infinite, "rows hold a value beyond single precision, dropped");
  return m;
}

void read_dist(ModelState& s, std::istream& in, const std::string& path,
               const std::string& name) {
  s.ndist = 0;
  float d = 0.0f, tol = 0.0f;
  s.ndist = read_pairs(
      s, in, path, name,
      [&](ffmt::ListReader& lr, int& i, int& j) {
        int skip = 0;
        return lr.read(i, j, skip, d, tol);
      },
      [] { return true; }, [&] { return std::isfinite(d) && std::isfinite(tol); },
      [&](int m, int i, int j) {
        s.rsd(m, 1) = i;
        s.rsd(m, 2) = j;
        s.drsd(m, 1) = d;
        s.drsd(m, 2) = tol;
      });
}

void read_distl(ModelState& s, std::istream& in, const std::string& path,
                const std::string& name) {
  s.ndistl = 0;
  float d = 0.0f;
  s.ndistl = read_pairs(
      s, in, path, name, [&](ffmt::ListReader& lr, int& i, int& j) { return lr.read(i, j, d); },
      [] { return true; }, [&] { return std::isfinite(d); },
      [&](int m, int i, int j) {
        s.rsdl(m, 1) = i;
        s.rsdl(m, 2) = j;
        s.drsdl(m) = d;
      });
}

void read_comb(ModelState& s, std::istream& in, const std::string& path,
               const std::string& name, float cutoff) {
  s.ncomb = 0;
  float p = 0.0f;
  s.ncomb = read_pairs(
      s, in, path, name, [&](ffmt::ListReader& lr, int& i, int& j) { return lr.read(i, j, p); },
      [&] { return p > cutoff; }, [&] { return std::isfinite(p); },
      [&](int m, int i, int j) {
        s.combsca(m, 1) = i;
        s.combsca(m, 2) = j;
        s.pcombca(m) = p;
      });
}

std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

int read_seq_file(ModelState& s, const std::string& path, bool& opened) {
  InputFile in;
  opened = open_input(in, path);
  if (!opened) return 0;
  return read_seq_stream(s, in, path);
}

int read_seq_stream(ModelState& s, std::istream& in, const std::string& path) {
  ffmt::ListReader lr(in, path);
  int last = 0;
  for (int r = 1; r <= s.nres; ++r) {
    int num = 0, code = 0, skip = 0;
    std::string name;
    ffmt::ReadStatus st = lr.read(num, name, code, skip);
    if (st == ffmt::ReadStatus::eof)
      ends_early(lr, "the record of residue " + std::to_string(r) + " is complete");
    if (st == ffmt::ReadStatus::error) break;
    s.sscode(r) = code;
    last = num;
  }
  return last;
}

int read_seq(ModelState& s, bool& opened) { return read_seq_file(s, "seq.dat", opened); }

std::string read_level_file(const std::string& path) {
  InputFile in;
  if (!open_input(in, path)) return "easy";
  ffmt::ListReader lr(in, path);
  int skip = 0;
  std::string level;
  ffmt::ReadStatus st = lr.read(skip, level);
  if (st == ffmt::ReadStatus::eof) ends_early(lr, "its two values");
  if (st == ffmt::ReadStatus::error) return "easy";
  return word(level, 4);
}

std::string read_level() { return read_level_file("init.dat"); }

void read_library_file(BBLibrary& s, const std::string& path) {
  InputFile in;
  if (!open_input(in, path)) throw InputError(path, 0, "cannot open the backbone library");
  read_library_stream(s, in, path);
}

void read_library_stream(BBLibrary& s, std::istream& in, const std::string& path) {
  int nbb = 0, nbbc = 0, nbbh = 0, nbbe = 0;
  ffmt::ListReader lr(in, path);
  ffmt::ReadStatus st = lr.read(nbb, nbbc, nbbh, nbbe);
  if (st == ffmt::ReadStatus::eof) ends_early(lr, "its header");
  if (st == ffmt::ReadStatus::error)
    throw InputError(path, lr.line_no(), "expected four integers nbb, nbbc, nbbh, nbbe");
  int line_no = lr.line_no();
  if (nbb < 0 || nbbc < 0 || nbbh < 0 || nbbe < 0)
    throw InputError(path, line_no, "negative count in the header");
  if (nbb > kMaxBB) throw CapacityError(path, "library records", kMaxBB);
  if (long(nbbc) + nbbh + nbbe != nbb)
    throw InputError(path, line_no,
                     "header counts " + std::to_string(nbbc) + " + " + std::to_string(nbbh) +
                         " + " + std::to_string(nbbe) + " do not add up to " +
                         std::to_string(nbb) + " records");

  // Rows of an earlier library beyond the new nbb must read as zeros.
  for (int k = nbb + 1; k <= s.nbb; ++k) s.bbcoord.fill_row(k, 0.0f);
  s.bbdatc.clear();
  s.bbdata.clear();
  s.bbdatb.clear();
  s.bbdatc.reserve(std::size_t(nbbc));
  s.bbdata.reserve(std::size_t(nbbh));
  s.bbdatb.reserve(std::size_t(nbbe));
  s.nbb = s.nbbc = s.nbbh = s.nbbe = 0;

  static const char* kClassName[] = {"", "coil", "helix", "strand"};
  // The records in large blocks (5 MB in the shipped library), not through getline.
  ffmt::BlockLines lines(in);
  std::string_view line;
  for (int k = 1; k <= nbb; ++k) {
    if (!lines.next(line))
      throw InputError(path, line_no + 1,
                       "file ends after " + std::to_string(k - 1) + " of the header's " +
                           std::to_string(nbb) + " records");
    ++line_no;
    int v[8];
    float q[6];
    if (!plain_record(line, v, q)) {
      ffmt::RecordReader r(line, path, line_no);
      for (int& x : v) {
        x = r.i(2);
        r.x(1);
      }
      for (float& x : q) {
        x = r.f(7, 3);
        r.x(1);
      }
    }
    // The file's class column: 1 coil, 2 helix, any other value strand.
    int cls = v[0] == 1 ? 1 : v[0] == 2 ? 2 : 3;
    int want = k <= nbbc ? 1 : k <= nbbc + nbbh ? 2 : 3;
    if (cls != want)
      throw InputError(path, line_no,
                       "record " + std::to_string(k) + " is " + kClassName[cls] +
                           " but the header puts it among the " + kClassName[want] + " records");
    if (!BBTable::in_range(v[1], v[2], v[3], v[4], v[5], v[6], v[7]))
      throw InputError(path, line_no,
                       "key, residue type or slot outside 0..25, 0..10, 0..10, 0..4, 0..10, "
                       "1..20, 1..10");
    for (float x : q)
      if (!std::isfinite(x))
        throw InputError(path, line_no, "a coordinate beyond single precision in record " +
                                            std::to_string(k));
    for (int c = 0; c < 6; ++c) s.bbcoord(k, c + 1) = q[c];
    BBTable& t = cls == 1 ? s.bbdatc : cls == 2 ? s.bbdata : s.bbdatb;
    t.set(v[1], v[2], v[3], v[4], v[5], v[6], v[7], k);
  }
  while (lines.next(line)) {
    ++line_no;
    if (!blank(line))
      throw InputError(path, line_no,
                       "more records than the header's " + std::to_string(nbb));
  }
  s.nbb = nbb;
  s.nbbc = nbbc;
  s.nbbh = nbbh;
  s.nbbe = nbbe;
}

bool read_library(ModelState& s) {
  if (s.libfile.empty()) return false;
  if (FileSet* set = current_file_set()) {
    auto it = set->libraries.find(s.libfile);
    if (it != set->libraries.end()) {
      const BBLibrary& l = *it->second;
      s.library = it->second;
      s.nbb = l.nbb;
      s.nbbc = l.nbbc;
      s.nbbh = l.nbbh;
      s.nbbe = l.nbbe;
      return true;
    }
  }
  s.library.reset();
  read_library_file(s, s.libfile);
  return true;
}

std::shared_ptr<const BBLibrary> read_shared_library(const std::string& path) {
  auto s = std::make_shared<BBLibrary>();
  read_library_file(*s, path);
  return s;
}

void read_restraint_stream(ModelState& s, RestraintFile which, std::istream& in,
                           const std::string& path, float cutoff) {
  switch (which) {
    case RestraintFile::dist:
      read_dist(s, in, path, "dist.dat");
      break;
    case RestraintFile::distl:
      read_distl(s, in, path, "distL.dat");
      break;
    case RestraintFile::comb:
      read_comb(s, in, path, "combCA.dat", cutoff);
      break;
  }
}

void read_restraints_in(ModelState& s, float cutoff, const std::string& dir) {
  // A restraint file that does not exist gives no rows.
  const std::pair<RestraintFile, const char*> files[] = {
      {RestraintFile::dist, "dist.dat"},
      {RestraintFile::distl, "distL.dat"},
      {RestraintFile::comb, "combCA.dat"}};
  for (const auto& [which, name] : files) {
    InputFile in;
    const std::string path = join(dir, name);
    if (open_input(in, path)) {
      read_restraint_stream(s, which, in, path, cutoff);
    } else if (which == RestraintFile::dist) {
      s.ndist = 0;
    } else if (which == RestraintFile::distl) {
      s.ndistl = 0;
    } else {
      s.ncomb = 0;
    }
  }
}

void read_restraints(ModelState& s, float cutoff) { read_restraints_in(s, cutoff, ""); }

}  // namespace vorb
