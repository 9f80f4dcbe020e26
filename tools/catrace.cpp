#include "catrace.hpp"
#include "commands.hpp"

#include <cstdio>

#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace {

constexpr const char* kUsage =
    "usage: vorb-tools ca-trace NATIVE OUT.pdb [--chain ID] [--model N]\n"
    "  NATIVE  PDB or mmCIF file, gzipped or not (\"-\" for standard input), read as prep reads\n"
    "          it: polymer residues, MSE as MET\n"
    "  OUT     the C-alpha trace (\"-\" for standard output): every protein chain of the model,\n"
    "          or the one --chain names, its residues numbered 1..n in file order, a TER after\n"
    "          each chain (VORB reads up to the first TER: give --chain for one chain of many)";

}  // namespace

int write_ca_trace(const std::vector<Chain>& chains, const std::string& path) {
  OutputFile out(path);
  int serial = 0, left_out = 0;
  for (const Chain& c : chains) {
    const std::string id = c.name.size() == 1 ? c.name : " ";
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
      w.a("ATOM  ").i(++serial, 5).x(1).a(" CA ", 4).x(1).a(r.name, 3).x(1).a(id, 1);
      w.i(long(k) + 1, 4).x(4).f(ca->x, 8, 3).f(ca->y, 8, 3).f(ca->z, 8, 3);
      w.f(1.0, 6, 2).f(0.0, 6, 2).x(10).a("C", 2);
      out.line(w.str());
    }
    out.line("TER");
  }
  out.line("END");
  out.commit();
  return left_out;
}

int cmd_ca_trace(const Args& args) {
  std::vector<std::string> files;
  std::string chain, model;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    const bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "--chain" && has_value) {
      chain = args[++k];
    } else if (a == "--model" && has_value) {
      model = args[++k];
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw InputError(kUsage);
  std::vector<Chain> chains = read_protein_chains(files[0], model);
  if (!chain.empty()) {
    std::vector<Chain> picked;
    std::string names;
    for (Chain& c : chains) {
      names += (names.empty() ? "" : ", ") + (c.name.empty() ? std::string("(blank)") : c.name);
      if (c.name == chain) picked.push_back(std::move(c));
    }
    if (picked.empty())
      throw InputError(files[0], 0, "no protein chain \"" + chain + "\" (protein chains: " +
                                        (names.empty() ? "none" : names) + ")");
    chains = std::move(picked);
  }
  if (chains.empty()) throw InputError(files[0], 0, "no protein chain");
  const int left_out = write_ca_trace(chains, files[1]);
  if (left_out > 0)
    std::fprintf(stderr, "vorb-tools ca-trace: %d residue(s) without a CA left out of the trace\n",
                 left_out);
  return 0;
}

}  // namespace vorb::tools
