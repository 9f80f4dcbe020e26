#include "catrace.hpp"
#include "commands.hpp"

#include <cstdio>

#include "io/ffmt.hpp"
#include "io/output_file.hpp"

namespace vorb::tools {

int write_ca_trace(const Chain& c, const std::string& path) {
  OutputFile out(path);
  int serial = 0, left_out = 0;
  for (std::size_t k = 0; k < c.res.size(); ++k) {
    const Residue& r = c.res[k];
    const Vec3* ca = r.find(" CA ");
    if (!ca) {
      ++left_out;
      continue;
    }
    // Standard ATOM columns: serial 7-11, name 13-16, residue 18-20, chain 22, number 23-26,
    // x y z 31-54, occupancy 55-60, B 61-66, element 77-78.
    ffmt::RecordWriter w;
    w.a("ATOM  ").i(++serial, 5).x(1).a(" CA ", 4).x(1).a(r.name, 3).x(1).a("A", 1);
    w.i(long(k) + 1, 4).x(4).f(ca->x, 8, 3).f(ca->y, 8, 3).f(ca->z, 8, 3);
    w.f(1.0, 6, 2).f(0.0, 6, 2).x(10).a("C", 2);
    out.line(w.str());
  }
  out.line("TER");
  out.line("END");
  out.commit();
  return left_out;
}

int cmd_ca_trace(const Args& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vorb-tools ca-trace NATIVE.pdb OUT.pdb\n");
    return 2;
  }
  const Chain c = read_chain(args[0]);
  if (c.res.empty()) {
    std::fprintf(stderr, "vorb-tools ca-trace: %s has no ATOM records\n", args[0].c_str());
    return 2;
  }
  const int left_out = write_ca_trace(c, args[1]);
  if (left_out > 0)
    std::fprintf(stderr, "vorb-tools ca-trace: %d residue(s) without a CA left out of the trace\n",
                 left_out);
  return 0;
}

}  // namespace vorb::tools
