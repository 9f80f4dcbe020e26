#include "io/aux_read.hpp"

#include <fstream>
#include <iostream>

#include "io/ffmt.hpp"
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

bool blank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

void warn_dropped(const std::string& file, int dropped, int nres) {
  if (dropped == 0) return;
  std::cout << (ffmt::ListWriter() << "WARNING!!!" << file + ":" << dropped
                                   << "rows name residues outside 1.." + std::to_string(nres) +
                                          ", dropped")
                   .str()
            << '\n';
}

bool in_chain(const ModelState& s, int i, int j) {
  return i >= 1 && i <= s.nres && j >= 1 && j <= s.nres;
}

// Opens a restraint file and reads its count; false when it cannot be opened or the count is
// not a number (nothing is stored then).
bool restraint_count(std::ifstream& in, ffmt::ListReader& lr, int& n) {
  if (!in) return false;
  ffmt::ReadStatus st = lr.read(n);
  if (st == ffmt::ReadStatus::eof) ends_early(lr, "its count");
  return st == ffmt::ReadStatus::ok;
}

void store_check(const std::string& path, int m) {
  if (m > kMaxRest) throw CapacityError(path, "restraint rows", kMaxRest);
}

void read_dist(ModelState& s, const std::string& path, const std::string& name) {
  s.ndist = 0;
  std::ifstream in(path, std::ios::binary);
  ffmt::ListReader lr(in, path);
  int n = 0;
  if (!restraint_count(in, lr, n)) return;
  int m = 0, dropped = 0;
  for (int k = 1; k <= n; ++k) {
    int i = 0, j = 0, skip = 0;
    float d = 0.0f, tol = 0.0f;
    ffmt::ReadStatus st = lr.read(i, j, skip, d, tol);
    if (st == ffmt::ReadStatus::eof) ends_early(lr, "record " + std::to_string(k) + " is complete");
    if (st == ffmt::ReadStatus::error) break;
    if (!in_chain(s, i, j)) {
      ++dropped;
      continue;
    }
    store_check(path, ++m);
    s.rsd(m, 1) = i;
    s.rsd(m, 2) = j;
    s.drsd(m, 1) = d;
    s.drsd(m, 2) = tol;
  }
  s.ndist = m;
  warn_dropped(name, dropped, s.nres);
}

void read_distl(ModelState& s, const std::string& path, const std::string& name) {
  s.ndistl = 0;
  std::ifstream in(path, std::ios::binary);
  ffmt::ListReader lr(in, path);
  int n = 0;
  if (!restraint_count(in, lr, n)) return;
  int m = 0, dropped = 0;
  for (int k = 1; k <= n; ++k) {
    int i = 0, j = 0;
    float d = 0.0f;
    ffmt::ReadStatus st = lr.read(i, j, d);
    if (st == ffmt::ReadStatus::eof) ends_early(lr, "record " + std::to_string(k) + " is complete");
    if (st == ffmt::ReadStatus::error) break;
    if (!in_chain(s, i, j)) {
      ++dropped;
      continue;
    }
    store_check(path, ++m);
    s.rsdl(m, 1) = i;
    s.rsdl(m, 2) = j;
    s.drsdl(m) = d;
  }
  s.ndistl = m;
  warn_dropped(name, dropped, s.nres);
}

void read_comb(ModelState& s, const std::string& path, const std::string& name, float cutoff) {
  s.ncomb = 0;
  std::ifstream in(path, std::ios::binary);
  ffmt::ListReader lr(in, path);
  int n = 0;
  if (!restraint_count(in, lr, n)) return;
  int m = 0, dropped = 0;
  for (int k = 1; k <= n; ++k) {
    int i = 0, j = 0;
    float p = 0.0f;
    ffmt::ReadStatus st = lr.read(i, j, p);
    if (st == ffmt::ReadStatus::eof) ends_early(lr, "record " + std::to_string(k) + " is complete");
    if (st == ffmt::ReadStatus::error) break;
    if (!(p > cutoff)) continue;
    if (!in_chain(s, i, j)) {
      ++dropped;
      continue;
    }
    store_check(path, ++m);
    s.combsca(m, 1) = i;
    s.combsca(m, 2) = j;
    s.pcombca(m) = p;
  }
  s.ncomb = m;
  warn_dropped(name, dropped, s.nres);
}

std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

int read_seq_file(ModelState& s, const std::string& path, bool& opened) {
  std::ifstream in(path, std::ios::binary);
  opened = bool(in);
  if (!opened) return 0;
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
  std::ifstream in(path, std::ios::binary);
  if (!in) return "easy";
  ffmt::ListReader lr(in, path);
  int skip = 0;
  std::string level;
  ffmt::ReadStatus st = lr.read(skip, level);
  if (st == ffmt::ReadStatus::eof) ends_early(lr, "its two values");
  if (st == ffmt::ReadStatus::error) return "easy";
  return word(level, 4);
}

std::string read_level() { return read_level_file("init.dat"); }

void read_library_file(ModelState& s, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path, 0, "cannot open the backbone library");

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
  s.nbb = s.nbbc = s.nbbh = s.nbbe = 0;

  static const char* kClassName[] = {"", "coil", "helix", "strand"};
  std::string line;
  for (int k = 1; k <= nbb; ++k) {
    if (!ffmt::get_line(in, line))
      throw InputError(path, line_no + 1,
                       "file ends after " + std::to_string(k - 1) + " of the header's " +
                           std::to_string(nbb) + " records");
    ++line_no;
    ffmt::RecordReader r(line, path, line_no);
    int v[8];
    for (int& x : v) {
      x = r.i(2);
      r.x(1);
    }
    float q[6];
    for (float& x : q) {
      x = r.f(7, 3);
      r.x(1);
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
    for (int c = 0; c < 6; ++c) s.bbcoord(k, c + 1) = q[c];
    BBTable& t = cls == 1 ? s.bbdatc : cls == 2 ? s.bbdata : s.bbdatb;
    t.set(v[1], v[2], v[3], v[4], v[5], v[6], v[7], k);
  }
  while (ffmt::get_line(in, line)) {
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
  read_library_file(s, s.libfile);
  return true;
}

void read_restraints_in(ModelState& s, float cutoff, const std::string& dir) {
  read_dist(s, join(dir, "dist.dat"), "dist.dat");
  read_distl(s, join(dir, "distL.dat"), "distL.dat");
  read_comb(s, join(dir, "combCA.dat"), "combCA.dat", cutoff);
}

void read_restraints(ModelState& s, float cutoff) { read_restraints_in(s, cutoff, ""); }

}  // namespace vorb
