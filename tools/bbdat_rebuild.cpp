// vorb-tools bbdat --rebuild: completes the C-alpha traces of real chains with bbadd (0) and
// prints the RMSD of the rebuilt N, C and O to the native, with the library's load cost.
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bbdat.hpp"
#include "builders/backbone.hpp"
#include "builders/bb_key.hpp"
#include "holdout.hpp"
#include "io/aux_read.hpp"
#include "model/coords.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace {

long rss_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

struct Totals {
  int chains = 0;
  double mean_rmsd = 0;         // sum over chains of the chain's N, C, O RMSD
  double sq[3] = {0, 0, 0};     // pooled squared deviations of N, C, O
  long count[3] = {0, 0, 0};
  void add(double chain_rmsd, const double* s, const long* c) {
    ++chains;
    mean_rmsd += chain_rmsd;
    for (int k = 0; k < 3; ++k) sq[k] += s[k], count[k] += c[k];
  }
  void print(const char* label) const {
    if (chains == 0) return;
    std::printf("%s_chains: %d\n", label, chains);
    std::printf("%s_mean_rmsd_nco: %.3f\n", label, mean_rmsd / chains);
    const char* names[3] = {"n", "c", "o"};
    for (int k = 0; k < 3; ++k)
      std::printf("%s_rmsd_%s: %.3f\n", label, names[k],
                  count[k] ? std::sqrt(sq[k] / double(count[k])) : 0.0);
  }
};

}  // namespace

int cmd_bbdat_rebuild(const Args& args) {
  std::string lib;
  std::vector<std::string> dirs;
  bool dssp = false, all = false, verbose = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "-h" || args[k] == "--help") {
      std::printf("usage: vorb-tools bbdat --rebuild LIB DIR... [--classes coil|dssp] [--all] [-v]\n");
      return 0;
    } else if (args[k] == "--classes" && k + 1 < args.size()) {
      std::string v = args[++k];
      if (v != "coil" && v != "dssp") throw InputError("--classes takes coil or dssp");
      dssp = v == "dssp";
    } else if (args[k] == "--all") {
      all = true;
    } else if (args[k] == "-v") {
      verbose = true;
    } else if (!args[k].empty() && args[k][0] == '-') {
      throw InputError("unknown option " + args[k]);
    } else if (lib.empty()) {
      lib = args[k];
    } else {
      dirs.push_back(args[k]);
    }
  }
  if (lib.empty() || dirs.empty())
    throw InputError(
        "usage: vorb-tools bbdat --rebuild LIB DIR... [--classes coil|dssp] [--all] [-v]");

  auto s = std::make_unique<ModelState>();
  long rss0 = rss_kb();
  auto t0 = std::chrono::steady_clock::now();
  std::clock_t c0 = std::clock();
  read_library_file(*s, lib);
  std::clock_t c1 = std::clock();
  auto t1 = std::chrono::steady_clock::now();
  long rss1 = rss_kb();
  std::printf("library: %s\nrecords: %d (coil %d, helix %d, strand %d)\n", lib.c_str(), s->nbb,
              s->nbbc, s->nbbh, s->nbbe);
  std::printf("load_ms: %.1f\nload_cpu_ms: %.1f\nload_rss_kb: %ld\n",
              std::chrono::duration<double, std::milli>(t1 - t0).count(),
              1000.0 * double(c1 - c0) / CLOCKS_PER_SEC, rss1 - rss0);

  Totals every, unbroken;
  long residues = 0, primary_hit = 0, any_hit = 0, no_cell_near = 0, o_floor_n = 0;
  double o_floor_sq = 0;
  for (const std::string& dir : dirs) {
    Split sp = split_directory(dir);
    std::vector<std::string> files = sp.heldout;
    if (all) files.insert(files.end(), sp.train.begin(), sp.train.end());
    for (const std::string& file : files) {
      Chain c = read_chain(file);
      std::vector<std::size_t> t = trace_of(c);
      const int n = int(t.size());
      if (n < 3) continue;
      std::vector<int> codes = dssp ? chain_codes(c) : std::vector<int>(c.res.size(), 0);

      // Topology layout: N, CA, C, O, side chain, H slot (OXT and H at the last residue).
      int atom = 0;
      for (int r = 1; r <= n; ++r) {
        const Residue& res = c.res[t[std::size_t(r - 1)]];
        s->ica(r) = atom + 2;
        s->ityp(r) = res.type;
        s->sscode(r) = codes[t[std::size_t(r - 1)]];
        s->resfix(r) = 0;
        s->ifrag(r) = 0;
        atom += hra[std::size_t(res.type)] + (r == n ? 2 : 1);
      }
      s->natom = atom;
      s->nres = n;
      s->xx.fill(kMissing, 0, atom + 3);
      s->yy.fill(kMissing, 0, atom + 3);
      s->zz.fill(kMissing, 0, atom + 3);
      bool broken = false;
      for (int r = 1; r <= n; ++r) {
        set_pos(*s, s->ica(r), c.res[t[std::size_t(r - 1)]].at(" CA "));
        if (r > 1 && dist(pos(*s, s->ica(r)), pos(*s, s->ica(r - 1))) > 4.2f) broken = true;
      }
      s->iseed = s->natom;

      // Cells found at slot 1, with the virtual atoms bbadd uses.
      auto ca = [&](int r) {
        if (r == 0) return 2.0f * pos(*s, s->ica(1)) - pos(*s, s->ica(2));
        if (r == n + 1) return 2.0f * pos(*s, s->ica(n)) - pos(*s, s->ica(n - 1));
        if (r == n + 2) return 2.0f * pos(*s, s->ica(n)) - pos(*s, s->ica(n - 2));
        return pos(*s, s->ica(r));
      };
      for (int r = 1; r <= n; ++r) {
        BBKey k = bb_key(ca(r - 1), ca(r), ca(r + 1), ca(r == n ? n + 2 : r + 2));
        ++residues;
        if (!k.ok) continue;
        int code = s->sscode(r);
        const BBTable& p = code == 2 ? s->bbdata : code == 4 ? s->bbdatb : s->bbdatc;
        int type = s->ityp(r);
        if (p(k.b1, k.b2, k.b3, k.b4, k.b5, type, 1)) ++primary_hit;
        bool near = false;
        for (int t = 1; t <= 20 && !near; ++t)
          for (int d1 = -1; d1 <= 1 && !near; ++d1)
            for (int d2 = -1; d2 <= 1 && !near; ++d2)
              for (int d3 = -1; d3 <= 1 && !near; ++d3)
                for (int d4 = -1; d4 <= 1 && !near; ++d4)
                  for (int d5 = -1; d5 <= 1 && !near; ++d5)
                    near = p(k.b1 + d1, k.b2 + d2, k.b3 + d3, k.b4 + d4, k.b5 + d5, t, 1) != 0;
        if (!near) ++no_cell_near;
        if (s->bbdatc(k.b1, k.b2, k.b3, k.b4, k.b5, type, 1) ||
            s->bbdata(k.b1, k.b2, k.b3, k.b4, k.b5, type, 1) ||
            s->bbdatb(k.b1, k.b2, k.b3, k.b4, k.b5, type, 1))
          ++any_hit;
      }

      bbadd(*s, 0);

      double sq[3] = {0, 0, 0};
      long cnt[3] = {0, 0, 0};
      const char* names[3] = {" N  ", " C  ", " O  "};
      const int offs[3] = {-1, 1, 2};
      for (int r = 1; r <= n; ++r) {
        const Residue& res = c.res[t[std::size_t(r - 1)]];
        for (int k = 0; k < 3; ++k) {
          const Vec3* nat = res.find(names[k]);
          if (!nat) continue;
          float d = dist(*nat, pos(*s, s->ica(r) + offs[k]));
          sq[k] += double(d) * d;
          ++cnt[k];
        }
      }
      // The O rule itself on the native CA, C and N(i+1): the floor of the O error.
      for (int r = 1; r < n; ++r) {
        const Residue& a = c.res[t[std::size_t(r - 1)]];
        const Residue& b = c.res[t[std::size_t(r)]];
        const Vec3 *pc = a.find(" C  "), *po = a.find(" O  "), *pn = b.find(" N  ");
        if (!pc || !po || !pn) continue;
        Vec3 m = (a.at(" CA ") + *pn) / 2.0f;
        Vec3 o = *pc + (1.23f * (*pc - m)) / norm(*pc - m);
        float d = dist(o, *po);
        o_floor_sq += double(d) * d;
        ++o_floor_n;
      }
      long all_cnt = cnt[0] + cnt[1] + cnt[2];
      double rmsd = all_cnt ? std::sqrt((sq[0] + sq[1] + sq[2]) / double(all_cnt)) : 0.0;
      every.add(rmsd, sq, cnt);
      if (!broken) unbroken.add(rmsd, sq, cnt);
      if (verbose)
        std::printf("chain %s: %d residues, rmsd %.3f%s\n",
                    std::filesystem::path(file).filename().c_str(), n, rmsd,
                    broken ? " (chain break)" : "");
    }
  }
  std::printf("classes: %s\n", dssp ? "dssp" : "coil");
  every.print("all");
  unbroken.print("unbroken");
  std::printf("residues: %ld\nslot1_primary_fraction: %.4f\nslot1_any_table_fraction: %.4f\n",
              residues, residues ? double(primary_hit) / double(residues) : 0.0,
              residues ? double(any_hit) / double(residues) : 0.0);
  std::printf("o_rule_on_native_rmsd: %.3f\n",
              o_floor_n ? std::sqrt(o_floor_sq / double(o_floor_n)) : 0.0);
  std::printf("no_primary_cell_within_one_bin_fraction: %.4f\n",
              residues ? double(no_cell_near) / double(residues) : 0.0);
  return 0;
}

}  // namespace vorb::tools
