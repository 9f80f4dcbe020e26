#include "trace_ss.hpp"

#include <cmath>

#include "io/ffmt.hpp"

namespace vorb::tools {
namespace {

struct P3 {
  double x, y, z;
};

P3 sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double dist(P3 a, P3 b) { return std::sqrt(dot(sub(a, b), sub(a, b))); }

// Dihedral a-b-c-d in degrees, -180..180.
double torsion(P3 a, P3 b, P3 c, P3 d) {
  const P3 b1 = sub(b, a), b2 = sub(c, b), b3 = sub(d, c);
  const P3 n1 = cross(b1, b2), n2 = cross(b2, b3);
  const double len = std::sqrt(dot(b2, b2));
  const P3 u{b2.x / len, b2.y / len, b2.z / len};
  return std::atan2(dot(cross(n1, n2), u), dot(n1, n2)) * 180.0 / 3.14159265358979;
}

}  // namespace

std::vector<int> trace_secondary(const Prepared& p) {
  const std::size_t n = p.res.size();
  std::vector<P3> ca(n);
  std::vector<bool> has(n, false);
  for (std::size_t k = 0; k < n; ++k) {
    const Vec3* v = p.res[k].res.find(" CA ");
    if (!v) continue;
    has[k] = true;
    for (std::size_t a = 0; a < p.res[k].res.atoms.size(); ++a)
      if (p.res[k].res.atoms[a].first == " CA ")
        ca[k] = {p.res[k].pos[a][0], p.res[k].pos[a][1], p.res[k].pos[a][2]};
  }
  // Present and consecutive from k over len residues.
  auto run = [&](std::size_t k, std::size_t len) {
    if (k + len > n) return false;
    for (std::size_t t = k; t < k + len; ++t) {
      if (!has[t]) return false;
      if (t > k && dist(ca[t - 1], ca[t]) > 4.3) return false;
    }
    return true;
  };
  std::vector<int> code(n, 1);
  std::vector<bool> win(n, false);
  for (std::size_t i = 0; i + 4 < n; ++i) {
    if (!run(i, 5)) continue;
    const double t = torsion(ca[i], ca[i + 1], ca[i + 2], ca[i + 3]);
    win[i] = t > 20 && t < 90 && dist(ca[i], ca[i + 3]) <= 6.0 && dist(ca[i], ca[i + 4]) <= 7.2;
  }
  for (std::size_t i = 0; i + 1 < n; ++i)
    if (win[i] && win[i + 1])
      for (std::size_t t = i; t <= i + 4 && t < n; ++t) code[t] = 2;

  std::vector<bool> ext(n, false);
  for (std::size_t i = 1; i + 2 < n; ++i) {
    if (!run(i - 1, 4) || code[i] == 2) continue;
    const double t = torsion(ca[i - 1], ca[i], ca[i + 1], ca[i + 2]);
    ext[i] = dist(ca[i - 1], ca[i + 1]) > 5.9 && (t > 110 || t < -110);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!ext[i]) continue;
    for (std::size_t j = 0; j < n; ++j) {
      if (!ext[j] || (j + 3 > i && i + 3 > j)) continue;
      if (dist(ca[i], ca[j]) <= 5.8) {
        code[i] = 4;
        break;
      }
    }
  }
  return code;
}

std::vector<std::string> trace_seq_dat_lines(const Prepared& p) {
  const std::vector<int> code = trace_secondary(p);
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < p.res.size(); ++k) {
    ffmt::RecordWriter w;
    w.i(p.res[k].res.num, 5).x(3).a(p.res[k].res.name, 3).x(1).i(code[k], 4).x(1).i(9, 4);
    lines.push_back(w.str());
  }
  return lines;
}

}  // namespace vorb::tools
