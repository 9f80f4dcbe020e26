#include "sidechain_geometry.hpp"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "io/ffmt.hpp"
#include "model/errors.hpp"

namespace vorb::packer {
namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDeg = kPi / 180.0f;

// One side-chain atom: name, element, the three atoms it is placed from, the chi it turns with
// (-1 none) and the torsion offset. Planar groups and rings take offsets 0 and 180.
struct Def {
  const char* name;
  char element;
  const char *a, *b, *c;
  int chi;
  float offset;
};

struct ResDef {
  const char* res3;
  int nchi;
  std::vector<Def> atoms;
};

const std::vector<ResDef>& definitions() {
  static const std::vector<ResDef> defs = {
      {"ALA", 0, {}},
      {"SER", 1, {{"OG", 'O', "N", "CA", "CB", 0, 0}}},
      {"CYS", 1, {{"SG", 'S', "N", "CA", "CB", 0, 0}}},
      {"THR", 1, {{"OG1", 'O', "N", "CA", "CB", 0, 0}, {"CG2", 'C', "N", "CA", "CB", 0, -120}}},
      {"VAL", 1, {{"CG1", 'C', "N", "CA", "CB", 0, 0}, {"CG2", 'C', "N", "CA", "CB", 0, 120}}},
      {"ILE", 2,
       {{"CG1", 'C', "N", "CA", "CB", 0, 0},
        {"CG2", 'C', "N", "CA", "CB", 0, -120},
        {"CD1", 'C', "CA", "CB", "CG1", 1, 0}}},
      {"LEU", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD1", 'C', "CA", "CB", "CG", 1, 0},
        {"CD2", 'C', "CA", "CB", "CG", 1, 120}}},
      {"MET", 3,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"SD", 'S', "CA", "CB", "CG", 1, 0},
        {"CE", 'C', "CB", "CG", "SD", 2, 0}}},
      {"PRO", 2, {{"CG", 'C', "N", "CA", "CB", 0, 0}, {"CD", 'C', "CA", "CB", "CG", 1, 0}}},
      {"ASP", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"OD1", 'O', "CA", "CB", "CG", 1, 0},
        {"OD2", 'O', "CA", "CB", "CG", 1, 180}}},
      {"ASN", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"OD1", 'O', "CA", "CB", "CG", 1, 0},
        {"ND2", 'N', "CA", "CB", "CG", 1, 180}}},
      {"GLU", 3,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD", 'C', "CA", "CB", "CG", 1, 0},
        {"OE1", 'O', "CB", "CG", "CD", 2, 0},
        {"OE2", 'O', "CB", "CG", "CD", 2, 180}}},
      {"GLN", 3,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD", 'C', "CA", "CB", "CG", 1, 0},
        {"OE1", 'O', "CB", "CG", "CD", 2, 0},
        {"NE2", 'N', "CB", "CG", "CD", 2, 180}}},
      {"LYS", 4,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD", 'C', "CA", "CB", "CG", 1, 0},
        {"CE", 'C', "CB", "CG", "CD", 2, 0},
        {"NZ", 'N', "CG", "CD", "CE", 3, 0}}},
      {"ARG", 4,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD", 'C', "CA", "CB", "CG", 1, 0},
        {"NE", 'N', "CB", "CG", "CD", 2, 0},
        {"CZ", 'C', "CG", "CD", "NE", 3, 0},
        {"NH1", 'N', "CD", "NE", "CZ", -1, 0},
        {"NH2", 'N', "CD", "NE", "CZ", -1, 180}}},
      {"HIS", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"ND1", 'N', "CA", "CB", "CG", 1, 0},
        {"CD2", 'C', "CA", "CB", "CG", 1, 180},
        {"CE1", 'C', "CB", "CG", "ND1", -1, 180},
        {"NE2", 'N', "CB", "CG", "CD2", -1, 180}}},
      {"PHE", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD1", 'C', "CA", "CB", "CG", 1, 0},
        {"CD2", 'C', "CA", "CB", "CG", 1, 180},
        {"CE1", 'C', "CB", "CG", "CD1", -1, 180},
        {"CE2", 'C', "CB", "CG", "CD2", -1, 180},
        {"CZ", 'C', "CG", "CD1", "CE1", -1, 0}}},
      {"TYR", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD1", 'C', "CA", "CB", "CG", 1, 0},
        {"CD2", 'C', "CA", "CB", "CG", 1, 180},
        {"CE1", 'C', "CB", "CG", "CD1", -1, 180},
        {"CE2", 'C', "CB", "CG", "CD2", -1, 180},
        {"CZ", 'C', "CG", "CD1", "CE1", -1, 0},
        {"OH", 'O', "CD1", "CE1", "CZ", -1, 180}}},
      {"TRP", 2,
       {{"CG", 'C', "N", "CA", "CB", 0, 0},
        {"CD1", 'C', "CA", "CB", "CG", 1, 0},
        {"CD2", 'C', "CA", "CB", "CG", 1, 180},
        {"NE1", 'N', "CB", "CG", "CD1", -1, 180},
        {"CE2", 'C', "CB", "CG", "CD2", -1, 180},
        {"CE3", 'C', "CB", "CG", "CD2", -1, 0},
        {"CZ2", 'C', "CG", "CD2", "CE2", -1, 180},
        {"CZ3", 'C', "CG", "CD2", "CE3", -1, 180},
        {"CH2", 'C', "CD2", "CE2", "CZ2", -1, 0}}},
  };
  return defs;
}

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

SideChainGeometry SideChainGeometry::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path, 0, "cannot open the side-chain geometry");
  return read_stream(in, path);
}

SideChainGeometry SideChainGeometry::read_stream(std::istream& in, const std::string& path) {
  // key "RES A1 A2" (bond) or "RES A1 A2 A3" (angle), both orders of the atoms.
  std::map<std::string, float> value;
  std::string line;
  int line_no = 0;
  while (ffmt::get_line(in, line)) {
    ++line_no;
    std::istringstream ls(line);
    std::string res, a1, a2, a3, v;
    if (!(ls >> res >> a1 >> a2 >> a3 >> v)) {
      if (trim(line).empty()) continue;
      throw InputError(path, line_no, "expected RES A1 A2 A3 value");
    }
    char* end = nullptr;
    float x = std::strtof(v.c_str(), &end);
    if (end == v.c_str() || *end != '\0' || !std::isfinite(x))
      throw InputError(path, line_no, "malformed value \"" + v + "\"");
    if (a3 == "." ? !(x >= 0.5f && x <= 3.0f) : !(x >= 60.0f && x <= 180.0f))
      throw InputError(path, line_no, "implausible " + std::string(a3 == "." ? "bond " : "angle ") + v);
    if (a3 == ".") {
      value[res + " " + a1 + " " + a2] = x;
      value[res + " " + a2 + " " + a1] = x;
    } else {
      value[res + " " + a1 + " " + a2 + " " + a3] = x;
      value[res + " " + a3 + " " + a2 + " " + a1] = x;
    }
  }
  auto need = [&](const std::string& key) {
    auto it = value.find(key);
    if (it == value.end()) throw InputError(path, 0, "no ideal value for " + key);
    return it->second;
  };
  SideChainGeometry g;
  for (const ResDef& d : definitions()) {
    ScTopology t;
    t.res3 = d.res3;
    t.nchi = d.nchi;
    const std::string r = d.res3;
    t.cb_bond = need(r + " CA CB");
    t.cb_angle_n = need(r + " N CA CB");
    t.cb_angle_c = need(r + " C CA CB");
    std::vector<std::string> names{"N", "CA", "C", "CB"};
    auto index = [&](const char* n) {
      for (std::size_t k = 0; k < names.size(); ++k)
        if (names[k] == n) return int(k);
      throw InputError(std::string("side-chain topology of ") + d.res3 + ": no atom " + n);
    };
    for (const Def& a : d.atoms) {
      ScAtom s;
      s.name = a.name;
      s.element = a.element;
      s.a = index(a.a);
      s.b = index(a.b);
      s.c = index(a.c);
      s.chi = a.chi;
      s.offset = a.offset;
      s.bond = need(r + " " + a.c + " " + a.name);
      s.angle = need(r + " " + a.b + " " + a.c + " " + a.name);
      names.push_back(a.name);
      t.atoms.push_back(s);
    }
    g.topo_.push_back(std::move(t));
  }
  return g;
}

const ScTopology* SideChainGeometry::topology(std::string_view res3) const {
  for (const ScTopology& t : topo_)
    if (t.res3 == res3) return &t;
  return nullptr;
}

Vec3 place_atom(Vec3 a, Vec3 b, Vec3 c, float bond, float angle_deg, float torsion_deg) {
  // Frame at c: bc along the last bond, n normal to the plane a-b-c, m completing it.
  Vec3 bc = c - b;
  bc = bc / norm(bc);
  Vec3 n = cross(b - a, bc);
  float nn = norm(n);
  if (nn < 1e-6f) {  // collinear: any normal will do
    n = cross(bc, std::fabs(bc.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0});
    nn = norm(n);
  }
  n = n / nn;
  Vec3 m = cross(n, bc);
  const float th = angle_deg * kDeg, ph = torsion_deg * kDeg;
  const float x = -bond * std::cos(th);
  const float y = bond * std::sin(th) * std::cos(ph);
  const float z = bond * std::sin(th) * std::sin(ph);
  return c + bc * x + m * y + n * z;
}

Vec3 place_cb(const ScTopology& t, Vec3 n, Vec3 ca, Vec3 c) {
  // Unit vectors u (to N), v (to C); CB direction d = p u + q v + r w with w = v x u, from
  // d.u = cos(aN), d.v = cos(aC), |d| = 1. L chirality puts CB on the side of w.
  Vec3 u = n - ca, v = c - ca;
  u = u / norm(u);
  v = v / norm(v);
  Vec3 w = cross(u, v);
  const float wn = norm(w);
  if (wn < 1e-6f) return ca + u * (-t.cb_bond);
  w = w / wn;
  const float cu = std::cos(t.cb_angle_n * kDeg), cv = std::cos(t.cb_angle_c * kDeg);
  const float g = dot(u, v);
  const float p = (cu - g * cv) / (1 - g * g);
  const float q = (cv - g * cu) / (1 - g * g);
  Vec3 inplane = u * p + v * q;
  float r2 = 1 - norm2(inplane);
  const float r = r2 > 0 ? std::sqrt(r2) : 0.0f;
  return ca + (inplane + w * r) * t.cb_bond;
}

float dihedral_deg(Vec3 p1, Vec3 p2, Vec3 p3, Vec3 p4) {
  Vec3 b1 = p2 - p1, b2 = p3 - p2, b3 = p4 - p3;
  float y = norm(b2) * dot(b1, cross(b2, b3));
  float x = dot(cross(b1, b2), cross(b2, b3));
  return std::atan2(y, x) / kDeg;
}

float build_side_chain(const ScTopology& t, Vec3 n, Vec3 ca, Vec3 c, Vec3 cb,
                       const std::array<float, 4>& chi, Vec3* out) {
  Vec3 pos[16];
  pos[0] = n;
  pos[1] = ca;
  pos[2] = c;
  pos[3] = cb;
  float chi2 = chi[1];
  const bool pro = t.res3 == "PRO";
  for (std::size_t k = 0; k < t.atoms.size(); ++k) {
    const ScAtom& s = t.atoms[k];
    float tor = s.offset + (s.chi >= 0 ? chi[std::size_t(s.chi)] : 0.0f);
    if (pro && s.name == "CD") {
      // The torsion that puts CD at the ideal distance from N, nearest the given one where
      // the ring closes twice: a 2-degree scan of the circle, refined to 0.1 degree.
      const float target = 1.4741f;
      auto miss = [&](float x) {
        return std::fabs(dist(place_atom(pos[s.a], pos[s.b], pos[s.c], s.bond, s.angle, x), n) -
                         target) +
               0.002f * std::fabs(x - chi2);
      };
      float best = chi2, best_miss = miss(chi2);
      for (int d = -180; d < 180; d += 2) {
        float x = chi2 + float(d), e = miss(x);
        if (e < best_miss) best_miss = e, best = x;
      }
      const float coarse = best;
      for (int d = -20; d <= 20; ++d) {
        float x = coarse + 0.1f * float(d), e = miss(x);
        if (e < best_miss) best_miss = e, best = x;
      }
      chi2 = best;
      tor = best;
    }
    pos[4 + k] = place_atom(pos[s.a], pos[s.b], pos[s.c], s.bond, s.angle, tor);
    out[k] = pos[4 + k];
  }
  return chi2;
}

}  // namespace vorb::packer
