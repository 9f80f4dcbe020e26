#include "io/pdb_write.hpp"

#include "io/ffmt.hpp"
#include "io/output_file.hpp"

namespace vorb {

std::string atom_record(int serial, const Name4& name, const Name3& resname, int resnum, float x,
                        float y, float z, int flag) {
  ffmt::RecordWriter w;
  w.a("ATOM").i(serial, 7).x(1).a(name.str(), 4).x(1).a(resname.str(), 3).x(2).i(resnum, 4).x(4);
  w.f(x, 8, 3).f(y, 8, 3).f(z, 8, 3).i(flag, 3);
  return w.str();
}

void write_model(ModelState& s, const std::string& path, bool ter) {
  OutputFile out(path);
  int serial = 0;
  for (int i = 1; i <= s.natom; ++i) {
    if (s.xx(i) > kMissingTest || s.aty(i) == 'H') continue;
    ++serial;
    out.line(atom_record(serial, s.atomty(i), s.resd(i), s.ress(i), s.xx(i), s.yy(i), s.zz(i),
                         s.assrd(i)));
  }
  if (ter) out.line("TER");
  out.commit();
}

void write_hydrogen_output(ModelState& s) {
  OutputFile out(s.pdbfile + ".h");
  int cur = s.npdb > 0 ? s.tkfpres(s.npdb) : 0;
  for (int i = 1; i <= s.natom; ++i) {
    if (s.xx(i) > kMissingTest) continue;
    int j = s.tkfp(i);
    if (j > 0) cur = s.tkfpres(j);
    if (s.aty(i) == 'H') {
      out.line(atom_record(0, s.atomty(i), s.resd(i), cur, s.xx(i), s.yy(i), s.zz(i),
                           s.assrd(i)));
    } else if (j > 0) {
      ffmt::RecordWriter w;
      w.a(s.kfp(j).str(), 30).f(s.xx(i), 8, 3).f(s.yy(i), 8, 3).f(s.zz(i), 8, 3);
      out.line(w.str());
    }
  }
  out.line("TER");
  out.commit();
}

}  // namespace vorb
