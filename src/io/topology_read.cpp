#include "io/topology_read.hpp"

#include <fstream>

#include "io/ffmt.hpp"
#include "io/input_file.hpp"
#include "model/capacity.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb {
namespace {

// Reads one free-form record of n reals and keeps the line count.
void list_record(std::istream& in, const std::string& path, int& line_no, float* v, int n,
                 const char* row, const char* section) {
  ffmt::ListReader lr(in, path);
  ffmt::ReadStatus st = ffmt::ReadStatus::ok;
  switch (n) {
    case 5:
      st = lr.read(v[0], v[1], v[2], v[3], v[4]);
      break;
    case 7:
      st = lr.read(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
      break;
    default:
      throw std::logic_error("list_record: unsupported count");
  }
  if (st == ffmt::ReadStatus::eof)
    throw InputError(path, line_no + lr.line_no() + 1,
                     std::string("file ends before the ") + section + " are complete");
  if (st == ffmt::ReadStatus::error)
    throw InputError(path, line_no + lr.line_no(),
                     std::string("expected ") + std::to_string(n) + " numbers in a " + row);
  line_no += lr.line_no();
}

}  // namespace

void read_topology(ModelState& s, const std::string& path) {
  InputFile in;
  if (!open_input(in, path)) throw InputError(path, 0, "cannot open topology file");
  read_topology_stream(s, in, path);
}

void read_topology_stream(ModelState& s, std::istream& in, const std::string& path) {
  int line_no = 0;

  // Header: natom, nang, npot.
  {
    ffmt::ListReader lr(in, path);
    int natom = 0, nang = 0, npot = 0;
    ffmt::ReadStatus st = lr.read(natom, nang, npot);
    if (st == ffmt::ReadStatus::eof) throw InputError(path, lr.line_no() + 1, "file ends before its header");
    if (st == ffmt::ReadStatus::error)
      throw InputError(path, lr.line_no(), "expected three integers natom, nang, npot");
    line_no = lr.line_no();
    if (natom < 0 || nang < 0 || npot < 0)
      throw InputError(path, line_no, "negative count in the header");
    if (natom == 0) throw InputError(path, line_no, "the header lists no atoms");
    if (natom > kMaxModelAtoms) throw CapacityError(path, "atoms", kMaxModelAtoms);
    if (nang > kMaxAng) throw CapacityError(path, "angle records", kMaxAng);
    if (npot > kMaxPot) throw CapacityError(path, "hydrogen-bond statistics rows", kMaxPot);
    s.natom = natom;
    s.nang = nang;
    s.npot = npot;
  }

  auto record = [&](const char* what) {
    std::string line;
    if (!ffmt::get_line(in, line))
      throw InputError(path, line_no + 1, std::string("file ends before ") + what);
    ++line_no;
    return line;
  };

  // Atom records and their post-processing (element letter, residue counter, ica, ityp).
  int counter = 0;
  for (int i = 1; i <= s.natom; ++i) {
    std::string line = record("the atom records are complete");
    ffmt::RecordReader r(line, path, line_no);
    r.i(4);
    r.x(1);
    s.atom(i, 1) = Name4::from(r.a(4));
    r.x(1);
    s.atom(i, 2) = Name4::from(r.a(4));
    r.x(1);
    s.resd2(i) = Name3::from(r.a(3));
    r.x(2);
    s.atmpar(i, 1) = r.f(6, 3);
    r.x(1);
    s.atmpar(i, 2) = r.f(7, 4);
    r.x(1);
    s.atmpar(i, 3) = r.f(7, 4);
    r.x(1);
    s.atmhb(i) = r.i(4);

    s.aty(i) = s.atom(i, 1).at(1);
    if (s.atom(i, 1) == " N  ") ++counter;
    if (counter > kMaxRes) throw CapacityError(path, "residues", kMaxRes);
    if (counter == 0)
      throw InputError(path, line_no, "atom record before the first residue's \" N  \"");
    s.ress2(i) = counter;
    if (s.atom(i, 1) == " CA ") {
      s.ica(counter) = i;
      s.ityp(counter) = residue_type(s.resd2(i).str());
    }
  }
  s.nres = s.natom > 0 ? s.ress2(s.natom) : 0;
  for (int r = 1; r <= s.nres; ++r)
    if (s.ica(r) == 0)
      throw InputError(path, 0, "residue " + std::to_string(r) + " has no \" CA \" atom record");

  if (s.mode_is("7")) return;

  // Bond records.
  for (int i = 1; i <= s.natom; ++i) {
    std::string line = record("the bond records are complete");
    ffmt::RecordReader r(line, path, line_no);
    r.i(4);
    r.x(1);
    for (int k = 1; k <= 4; ++k) {
      s.bonda(i, k) = r.i(6);
      r.x(1);
    }
    for (int k = 1; k <= 4; ++k) {
      s.bond(i, 2 * k - 1) = r.f(8, 3);
      r.x(1);
      s.bond(i, 2 * k) = r.f(7, 4);
      r.x(1);
    }
    s.bonda(i, 5) = r.i(2);
    if (s.bonda(i, 5) < 0 || s.bonda(i, 5) > 4)
      throw InputError(path, line_no, "partner count " + std::to_string(s.bonda(i, 5)) +
                                          " outside 0..4");
    for (int k = 1; k <= 4; ++k) {
      int p = s.bonda(i, k);
      if (p < 0 || p > s.natom || (k <= s.bonda(i, 5) && p == 0))
        throw InputError(path, line_no, "partner atom " + std::to_string(p) + " outside 1.." +
                                            std::to_string(s.natom));
    }
  }

  // Angle records.
  for (int m = 1; m <= s.nang; ++m) {
    std::string line = record("the angle records are complete");
    ffmt::RecordReader r(line, path, line_no);
    r.i(5);
    r.x(1);
    for (int k = 1; k <= 3; ++k) {
      s.anga(m, k) = r.i(5);
      r.x(1);
    }
    for (int k = 1; k <= 4; ++k) {
      s.ang(m, k) = r.f(7, 3);
      if (k < 4) r.x(1);
    }
    for (int k = 1; k <= 3; ++k)
      if (s.anga(m, k) < 0 || s.anga(m, k) > s.natom)
        throw InputError(path, line_no, "angle atom " + std::to_string(s.anga(m, k)) +
                                            " outside 0.." + std::to_string(s.natom));
  }

  // Hydrogen-bond statistics: values 2, 4, 5, 7 of seven.
  for (int n = 1; n <= s.npot; ++n) {
    float v[7];
    list_record(in, path, line_no, v, 7, "hydrogen-bond statistics row",
                "hydrogen-bond statistics");
    s.hbpot(n, 1) = v[1];
    s.hbpot(n, 2) = v[3];
    s.hbpot(n, 3) = v[4];
    s.hbpot(n, 4) = v[6];
  }

  if (s.mode_is("1")) return;

  // Phi/psi propensity grid: values 4 and 5 of five.
  for (int c = 1; c <= kRamaCells; ++c) {
    float v[5];
    list_record(in, path, line_no, v, 5, "propensity record", "1369 propensity records");
    s.ramah(c) = v[3];
    s.ramae(c) = v[4];
  }
}

}  // namespace vorb
