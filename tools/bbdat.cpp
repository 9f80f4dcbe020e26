#include "bbdat.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "builders/bb_key.hpp"
#include "dssp.hpp"
#include "holdout.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "outputs.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace {

constexpr float kMaxCaStep = 4.2f;  // longer C-alpha steps are chain breaks
// Acceptance bands of backbone completion, narrowed by 0.005 A so that the values written with
// three decimals still lie inside them.
constexpr float kNLo = 2.105f, kNHi = 2.695f, kCLo = 1.305f, kCHi = 1.695f;

Vec3 unit(Vec3 v) { return v / norm(v); }

using CellKey = std::array<int, 6>;  // b1..b5, type

CellKey cell_of(const Fragment& f) { return {f.b[0], f.b[1], f.b[2], f.b[3], f.b[4], f.type}; }

// One table: every cell's fragments ordered by distance to the cell mean, at most `slots`.
std::vector<LibRecord> table(const std::vector<Fragment>& frags, int want, bool generic,
                             int file_cls, int slots) {
  std::map<CellKey, std::vector<std::size_t>> cells;
  for (std::size_t k = 0; k < frags.size(); ++k)
    if (generic || frags[k].cls == want) cells[cell_of(frags[k])].push_back(k);
  std::vector<LibRecord> out;
  for (const auto& [key, members] : cells) {
    std::array<double, 6> mean{};
    for (std::size_t k : members)
      for (int c = 0; c < 6; ++c) mean[std::size_t(c)] += frags[k].v[std::size_t(c)];
    for (double& m : mean) m /= double(members.size());
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t k : members) {
      double d2 = 0;
      for (int c = 0; c < 6; ++c) {
        double d = frags[k].v[std::size_t(c)] - mean[std::size_t(c)];
        d2 += d * d;
      }
      order.emplace_back(d2, k);
    }
    std::sort(order.begin(), order.end());  // ties keep extraction order
    int n = std::min<int>(slots, int(order.size()));
    for (int s = 0; s < n; ++s) {
      const Fragment& f = frags[order[std::size_t(s)].second];
      LibRecord r;
      r.cls = file_cls;
      r.b = f.b;
      r.type = f.type;
      r.slot = s + 1;
      r.v = f.v;
      out.push_back(r);
    }
  }
  return out;
}

std::string record_line(const LibRecord& r) {
  ffmt::RecordWriter w;
  w.i(r.cls, 2).x(1);
  for (int b : r.b) w.i(b, 2).x(1);
  w.i(r.type, 2).x(1).i(r.slot, 2);
  for (float v : r.v) w.x(1).f(v, 7, 3);
  return w.str();
}

struct BuildArgs {
  std::vector<std::string> dirs;
  std::string out = "data/BBdat";
  bool generic = true;
};

constexpr const char* kBuildUsage = "usage: vorb-tools bbdat DIR... [-o FILE] [--coil generic|coil]";

BuildArgs parse_build(const Args& args) {
  BuildArgs a;
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "-o" && k + 1 < args.size()) {
      a.out = args[++k];
    } else if (args[k] == "--coil" && k + 1 < args.size()) {
      std::string v = args[++k];
      if (v != "generic" && v != "coil") throw InputError("--coil takes generic or coil");
      a.generic = v == "generic";
    } else if (!args[k].empty() && args[k][0] == '-') {
      throw InputError("unknown option " + args[k]);
    } else {
      a.dirs.push_back(args[k]);
    }
  }
  if (a.dirs.empty())
    throw InputError(kBuildUsage);
  return a;
}

}  // namespace

std::vector<std::size_t> trace_of(const Chain& c) {
  std::vector<std::size_t> t;
  for (std::size_t k = 0; k < c.res.size(); ++k)
    if (c.res[k].type >= 1 && c.res[k].type <= 20 && c.res[k].has(" CA ")) t.push_back(k);
  return t;
}

std::vector<Fragment> chain_fragments(const Chain& c, const std::vector<int>& codes,
                                      ExtractStats& st) {
  std::vector<Fragment> out;
  const std::vector<std::size_t> t = trace_of(c);
  const int n = int(t.size());
  st.residues += n;
  if (n < 3) return out;
  auto res = [&](int r) -> const Residue& { return c.res[t[std::size_t(r - 1)]]; };
  auto ca = [&](int r) { return res(r).at(" CA "); };
  // Virtual C-alpha atoms exactly as backbone completion writes them.
  const Vec3 v0 = 2.0f * ca(1) - ca(2);
  const Vec3 va = 2.0f * ca(n) - ca(n - 1);
  const Vec3 vb = 2.0f * ca(n) - ca(n - 2);
  auto step_ok = [&](int r) { return dist(ca(r), ca(r + 1)) <= kMaxCaStep; };

  for (int i = 1; i <= n; ++i) {
    bool broken = false;
    for (int r = std::max(i - 1, 1); r < std::min(i + 2, n); ++r) broken = broken || !step_ok(r);
    const Residue& ri = res(i);
    const Vec3* pc = ri.find(" C  ");
    Vec3 pn;
    bool have_n = false;
    if (i < n) {
      const Vec3* q = res(i + 1).find(" N  ");
      if (q) {
        pn = *q;
        have_n = true;
        if (pc && dist(*pc, pn) > 2.0f) broken = true;
      }
    } else if (pc && ri.has(" O  ")) {
      Vec3 bis = unit(ri.at(" O  ") - *pc) + unit(ri.at(" CA ") - *pc);
      pn = *pc - 1.33f * unit(bis);
      have_n = true;
    }
    if (broken) {
      ++st.broken;
      continue;
    }
    if (!pc || !have_n) {
      ++st.incomplete;
      continue;
    }
    const Vec3 p0 = i == 1 ? v0 : ca(i - 1);
    const Vec3 p1 = ca(i);
    const Vec3 p2 = i == n ? va : ca(i + 1);
    const Vec3 p3 = i == n ? vb : i == n - 1 ? va : ca(i + 2);
    BBKey k = bb_key(p0, p1, p2, p3);
    if (!k.ok) {
      ++st.no_frame;
      continue;
    }
    Vec3 xn = pn - p1, xc = *pc - p1;
    float dn = norm(xn), dc = norm(xc);
    // Written so that an undefined distance (a degenerate virtual N) is out of band too.
    if (!(dn >= kNLo && dn <= kNHi && dc >= kCLo && dc <= kCHi)) {
      ++st.out_of_band;
      continue;
    }
    Fragment f;
    f.cls = codes.at(t[std::size_t(i - 1)]);
    f.b = {k.b1, k.b2, k.b3, k.b4, k.b5};
    f.type = ri.type;
    f.v = {dot(xn, k.a), dot(xn, k.b), dot(xn, k.c), dot(xc, k.a), dot(xc, k.b), dot(xc, k.c)};
    out.push_back(f);
    ++st.fragments;
  }
  return out;
}

Library build_library(const std::vector<Fragment>& frags, const BuildOptions& opt) {
  Library lib;
  lib.coil = table(frags, 1, opt.generic_coil, 1, opt.slots);
  lib.helix = table(frags, 2, false, 2, opt.slots);
  lib.strand = table(frags, 4, false, 3, opt.slots);
  std::size_t total = lib.size();
  const std::size_t cap = std::size_t(opt.max_records);
  for (int slot = opt.slots; slot >= 1 && total > cap; --slot) {
    for (std::vector<LibRecord>* t : {&lib.coil, &lib.helix, &lib.strand}) {
      for (std::size_t k = t->size(); k-- > 0 && total > cap;) {
        if ((*t)[k].slot != slot) continue;
        t->erase(t->begin() + std::ptrdiff_t(k));
        --total;
      }
    }
  }
  return lib;
}

void write_library(const Library& lib, const std::string& path) {
  OutputFile out(path);
  out.line((ffmt::ListWriter() << int(lib.size()) << int(lib.coil.size())
                               << int(lib.helix.size()) << int(lib.strand.size()))
               .str());
  for (const auto* t : {&lib.coil, &lib.helix, &lib.strand})
    for (const LibRecord& r : *t) out.line(record_line(r));
  out.commit();
}

std::vector<int> chain_codes(const Chain& c) {
  Assignment a = assign_secondary(c);
  std::vector<int> codes(c.res.size(), 1);
  for (std::size_t k = 0; k < c.res.size() && k < a.ss.size(); ++k) codes[k] = three_state(a.ss[k]);
  return codes;
}

int cmd_bbdat(const Args& args) {
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::printf("%s\n       vorb-tools bbdat --rebuild LIB DIR... [--classes coil|dssp] [--all] [-v]\n",
                kBuildUsage);
    return 0;
  }
  if (!args.empty() && args[0] == "--rebuild")
    return cmd_bbdat_rebuild(Args(args.begin() + 1, args.end()));
  BuildArgs a = parse_build(args);
  std::vector<Fragment> frags;
  ExtractStats st;
  int chains = 0;
  for (const std::string& dir : a.dirs) {
    if (!std::filesystem::is_directory(dir)) throw InputError(dir, 0, "not a directory");
    for (const std::string& file : split_directory(dir).train) {
      Chain c = read_chain(file);
      std::vector<Fragment> f = chain_fragments(c, chain_codes(c), st);
      frags.insert(frags.end(), f.begin(), f.end());
      ++chains;
    }
  }
  int per_class[5] = {0, 0, 0, 0, 0};
  for (const Fragment& f : frags) ++per_class[f.cls];
  BuildOptions opt;
  opt.generic_coil = a.generic;
  Library lib = build_library(frags, opt);
  write_library(lib, a.out);
  std::FILE* report = report_stream(a.out);
  std::fprintf(report, "chains: %d\nresidues: %d\nfragments: %d (coil %d, helix %d, strand %d)\n", chains,
              st.residues, st.fragments, per_class[1], per_class[2], per_class[4]);
  std::fprintf(report, "skipped: broken %d, incomplete %d, no frame %d, out of band %d\n", st.broken,
              st.incomplete, st.no_frame, st.out_of_band);
  std::fprintf(report, "records: %zu (coil %zu%s, helix %zu, strand %zu)\nwritten: %s\n", lib.size(),
              lib.coil.size(), a.generic ? " generic" : "", lib.helix.size(), lib.strand.size(),
              a.out.c_str());
  return 0;
}

}  // namespace vorb::tools
