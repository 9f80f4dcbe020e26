#include "structure.hpp"

#include <fstream>
#include <iostream>

#include "io/ffmt.hpp"
#include "io/input_file.hpp"
#include "io/pdb_read.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {

const Vec3* Residue::find(const std::string& name4) const {
  for (const auto& a : atoms)
    if (a.first == name4) return &a.second;
  return nullptr;
}

Vec3 Residue::at(const std::string& name4) const {
  const Vec3* p = find(name4);
  if (!p) throw std::out_of_range("residue " + name + " " + std::to_string(num) + " has no " + name4);
  return *p;
}

Chain read_chain(const std::string& path) {
  if (path == "-") return read_chain_stream(std::cin, path);
  InputFile in;
  if (!open_input(in, path)) throw InputError(path, 0, "cannot open structure file");
  return read_chain_stream(in, path);
}

Chain read_chain_stream(std::istream& in, const std::string& path) {
  Chain c;
  c.source = path;
  std::string line;
  int line_no = 0;
  while (ffmt::get_line(in, line)) {
    ++line_no;
    if (line.size() > 100) line.resize(100);
    if (pdb_stop_line(line)) break;
    if (!pdb_take_line(line)) continue;
    ffmt::RecordReader r(line, path, line_no);
    r.x(12);
    std::string name = r.a(4);
    r.x(1);
    std::string resname = r.a(3);
    r.x(2);
    int num = r.i(4);
    char icode = line.size() > 26 ? line[26] : ' ';
    r.x(4);
    Vec3 p;
    p.x = r.f(8, 3);
    p.y = r.f(8, 3);
    p.z = r.f(8, 3);
    if (c.res.empty() || c.res.back().num != num || c.res.back().icode != icode ||
        c.res.back().name != resname) {
      Residue res;
      res.name = resname;
      res.num = num;
      res.icode = icode;
      res.type = residue_type(resname);
      c.res.push_back(std::move(res));
    }
    Residue& res = c.res.back();
    if (!res.has(name)) res.atoms.emplace_back(name, p);
  }
  return c;
}

bool peptide_bonded(const Chain& c, std::size_t i) {
  if (i + 1 >= c.res.size()) return false;
  const Vec3* cp = c.res[i].find(" C  ");
  const Vec3* np = c.res[i + 1].find(" N  ");
  return cp && np && dist(*cp, *np) <= 2.0f;
}

}  // namespace vorb::tools
