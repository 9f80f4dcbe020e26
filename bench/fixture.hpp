// The fixed model the micro-benchmarks run on.
//
// bench/micro.sh prepares a directory with native.pdb (heavy atoms of a real held-out chain,
// by default its first 150 residues, numbered 1..150) and its topology Hdd; VORB_BENCH_FIXTURE names the directory (default
// build/bench/fixture under the source tree). The model is read the way a refinement run starts:
// building-mode start-up, fragment library, missing heavy atoms, hydrogens, lattice filled,
// backbone hydrogen bonds, weights of a run without template or restraints.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/hbonds.hpp"
#include "analysis/lattice.hpp"
#include "analysis/lattice_shift.hpp"
#include "builders/sidechain.hpp"
#include "builders/hydrogens.hpp"
#include "io/aux_read.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "model/errors.hpp"
#include "model/model_state.hpp"

namespace vorb::bench {

inline std::string fixture_dir() {
  const char* env = std::getenv("VORB_BENCH_FIXTURE");
  if (env != nullptr && *env != '\0') return env;
  return std::string(VORB_SOURCE_DIR) + "/build/bench/fixture";
}

// Text of an exception of any kind the program throws.
inline std::string describe(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (const StopRun& x) {
    return "STOP " + x.message;
  } catch (const EndRun&) {
    return "run ended early";
  } catch (...) {
    return "unknown exception";
  }
}

struct Model {
  std::unique_ptr<ModelState> s = std::make_unique<ModelState>();
  std::string error;  // why the model could not be made; empty when it is ready
  std::string note;   // a set-up step that was left out
};

// Runs one set-up step, recording the first failure with the step's name.
template <class F>
bool setup_step(Model& m, const char* name, F f) {
  if (!m.error.empty()) return false;
  try {
    f(*m.s);
  } catch (...) {
    m.error = std::string(name) + ": " + describe(std::current_exception());
    return false;
  }
  return true;
}

inline Model make_model() {
  Model m;
  const std::string dir = fixture_dir();
  if (!std::filesystem::is_regular_file(dir + "/Hdd") ||
      !std::filesystem::is_regular_file(dir + "/native.pdb")) {
    m.error = "no fixture in " + dir + " (run bash bench/micro.sh)";
    return m;
  }
  ModelState& s = *m.s;
  s.mode = Name4::from("3");
  s.pdbfile = dir + "/native.pdb";
  s.libfile = std::string(VORB_SOURCE_DIR) + "/data/BBdat";
  setup_step(m, "read_structure", [](ModelState& t) { read_structure(t); });
  setup_step(m, "read_topology", [&](ModelState& t) { read_topology(t, dir + "/Hdd"); });
  setup_step(m, "build_atom_table", [](ModelState& t) { build_atom_table(t); });
  setup_step(m, "lattice_frame_shift", [](ModelState& t) { lattice_frame_shift(t); });
  setup_step(m, "read_library", [](ModelState& t) {
    if (!read_library(t)) throw InputError(t.libfile, 0, "cannot be opened");
  });
  s.wclash = std::sqrt(1.0f / float(s.nres > 0 ? s.nres : 1));
  s.whbm = 0.0f;
  s.wrmsd = 0.0f;
  s.itempl = 0;
  s.irest = 0;
  // The native has nearly all its heavy atoms; completing the rest is not essential here.
  try {
    heavy_add(s);
  } catch (...) {
    m.note = "heavy_add: " + describe(std::current_exception());
  }
  setup_step(m, "hadd", [](ModelState& t) { hadd(t); });
  setup_step(m, "imerge", [](ModelState& t) { imerge(t, 1); });
  setup_step(m, "hbonds", [](ModelState& t) { hbonds(t, 2); });
  return m;
}

// The shared model of the benchmarks that leave the coordinates alone.
inline Model& shared_model() {
  static Model m = make_model();
  return m;
}

// Times f on the model: one untimed call first, so that a procedure that fails (or is not
// there yet) skips the benchmark with its message instead of ending the whole program.
template <class F>
void run(benchmark::State& st, Model& m, F f) {
  static thread_local std::string msg;
  if (!m.error.empty()) {
    msg = m.error;
    st.SkipWithError(msg.c_str());
    return;
  }
  try {
    f(*m.s);
  } catch (...) {
    msg = describe(std::current_exception());
    st.SkipWithError(msg.c_str());
    return;
  }
  for (auto _ : st) f(*m.s);
  if (!m.note.empty()) st.SetLabel(m.note);
  st.counters["residues"] = m.s->nres;
  st.counters["atoms"] = m.s->natom;
  st.SetItemsProcessed(st.iterations() * m.s->nres);
}

}  // namespace vorb::bench
