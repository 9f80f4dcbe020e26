#include "io/pdb_read.hpp"

#include <cmath>
#include <fstream>
#include <iostream>

#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/input_file.hpp"
#include "model/errors.hpp"
#include "model/modes.hpp"

namespace vorb {
namespace {

constexpr std::size_t kLineWidth = 100;
constexpr std::size_t kCoordEnd = 54;  // last column of the z coordinate

// One taken ATOM line, read with "(A12,A4,A1,A3,A2,I4,A4,3F8.3)".
struct AtomLine {
  std::string name, resname;
  int resnum = 0;
  float x = 0, y = 0, z = 0;
};

AtomLine parse_atom(const std::string& line, const std::string& file, int line_no) {
  // Blank fields read as 0, but a record that stops before its z field ends is cut, not blank:
  // reading it would put the atom at made-up coordinates.
  if (line.size() < kCoordEnd)
    throw InputError(file, line_no,
                     "ATOM record ends at column " + std::to_string(line.size()) +
                         ", before its coordinates end at column 54 (truncated file?)");
  ffmt::RecordReader r(line, file, line_no);
  AtomLine a;
  r.x(12);
  a.name = r.a(4);
  r.x(1);
  a.resname = r.a(3);
  r.x(2);
  a.resnum = r.i(4);
  r.x(4);
  a.x = r.f(8, 3);
  a.y = r.f(8, 3);
  a.z = r.f(8, 3);
  return a;
}

}  // namespace

bool pdb_stop_line(std::string_view line) {
  return line.substr(0, 3) == "END" || line.substr(0, 3) == "TER";
}

bool pdb_take_line(std::string_view line) {
  if (line.substr(0, 4) != "ATOM") return false;
  char alt = line.size() > 16 ? line[16] : ' ';
  return alt == ' ' || alt == 'A';
}

void read_structure(ModelState& s) {
  InputFile in;
  open_input(in, s.pdbfile);  // a file that does not exist reads as empty
  read_structure_stream(s, in);
}

void read_structure_stream(ModelState& s, std::istream& in) {
  const bool building = is_building_mode(s);
  const bool keep_lines = s.mode_is("1");
  int n = 0, line_no = 0, counter = 0, prev_num = 0;
  std::string line;
  while (in && ffmt::get_line(in, line)) {
    ++line_no;
    if (line.size() > kLineWidth) line.resize(kLineWidth);
    if (pdb_stop_line(line)) break;
    if (!pdb_take_line(line)) continue;
    AtomLine a = parse_atom(line, s.pdbfile, line_no);
    if (n == kMaxAtoms) throw CapacityError(s.pdbfile, "ATOM records", kMaxAtoms);
    ++n;
    s.pdbatom(n) = Name4::from(a.name);
    s.pdbresd(n) = Name3::from(a.resname);
    if (building) {
      s.pdbress(n) = a.resnum;
    } else {
      if (n == 1 || a.resnum > prev_num) ++counter;
      s.pdbress(n) = counter;
    }
    prev_num = a.resnum;
    s.xx0(n) = a.x;
    s.yy0(n) = a.y;
    s.zz0(n) = a.z;
    if (keep_lines) {
      s.kfp(n) = Text30::from(line);
      s.tkfpres(n) = a.resnum;
    }
  }
  s.npdb = n;
  if (n < 10) {
    message_stream() << (ffmt::ListWriter() << "read pdb file err, total atoms" << n).str() << '\n';
    throw EndRun{0};
  }
}

void read_template(ModelState& s) {
  // A template that cannot be opened is not an error: the run goes on without one.
  InputFile in;
  bool open = false;
  try {
    open = open_input(in, s.tmplfile);
  } catch (const InputError&) {
  }
  read_template_stream(s, open ? &in : nullptr);
}

void read_template_stream(ModelState& s, std::istream* in) {
  // A template is superposed on the model, so its position is free; but coordinates this far out
  // (or infinite) overflow the single-precision deviations and turn every energy into NaN.
  constexpr float kFar = 1.0e6f;
  int nread = 0, nstored = 0, ignored = 0, far = 0, last = 0, line_no = 0;
  std::string line;
  while (in && *in && ffmt::get_line(*in, line)) {
    ++line_no;
    if (line.size() > kLineWidth) line.resize(kLineWidth);
    if (pdb_stop_line(line)) break;
    if (!pdb_take_line(line)) continue;
    if (line.size() < 16 || line.substr(12, 4) != " CA ") continue;
    AtomLine a = parse_atom(line, s.tmplfile, line_no);
    ++nread;
    last = a.resnum;
    if (a.resnum < 1 || a.resnum > s.nres) {
      ++ignored;
      continue;
    }
    if (!(std::fabs(a.x) < kFar && std::fabs(a.y) < kFar && std::fabs(a.z) < kFar)) {
      ++far;
      continue;
    }
    s.bbkxx(a.resnum) = a.x;
    s.bbkyy(a.resnum) = a.y;
    s.bbkzz(a.resnum) = a.z;
    s.tmplres(a.resnum) = 1;
    ++nstored;
  }
  if (ignored > 0)
    message_stream() << (ffmt::ListWriter() << "WARNING!!! template C-alpha records outside the model "
                                        "residues ignored:"
                                     << ignored)
                     .str()
              << '\n';
  if (far > 0)
    message_stream() << (ffmt::ListWriter() << "WARNING!!! template C-alpha records with a coordinate "
                                        "beyond 1000000 A ignored:"
                                     << far)
                     .str()
              << '\n';
  if (nread == 0 || last < 1 || nstored == 0) {
    message_stream() << (ffmt::ListWriter() << "WARNING!!! No template used").str() << '\n';
    s.itempl = 0;
  } else {
    s.itempl = 1;
  }
}

}  // namespace vorb
