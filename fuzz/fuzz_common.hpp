// Pieces shared by the fuzz harnesses.
//
// Each harness defines LLVMFuzzerTestOneInput. A harness swallows the outcomes the program gives
// bad input on purpose (a read error or rejected input, a normal early end, a stop of its own);
// anything else escapes, aborts the process and is a finding: an index outside a table, a logic
// error, a sanitizer report, a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "hdd.hpp"
#include "io/topology_read.hpp"
#include "model/errors.hpp"
#include "model/model_state.hpp"
#include "tables.hpp"

namespace vorb::fuzz {

inline std::string text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

template <class F>
void expect_sound(F&& f) {
  try {
    f();
  } catch (const InputError&) {
  } catch (const EndRun&) {
  } catch (const StopRun&) {
  }
}

// The program's messages go nowhere while fuzzing.
inline void init() { std::cout.rdbuf(nullptr); }

// The topology file of a chain of residue types, from the committed tables.
inline std::string hdd_text(const std::vector<int>& types) {
  static const tools::Tables tables = tools::read_tables(tools::find_tables_dir(""));
  std::string t;
  for (const std::string& line : tools::hdd_lines(tools::build_topology(types, tables), tables))
    t += line + '\n';
  return t;
}

// A fresh state holding the topology of a short peptide (MET GLN ILE PHE VAL, the first five
// residues of the shipped example chain) that the structure-side harnesses match against.
inline std::unique_ptr<ModelState> peptide_state(const char* mode) {
  static const std::string hdd = hdd_text({9, 15, 7, 18, 5});
  auto s = std::make_unique<ModelState>();
  s->mode = Name4::from("1");  // atoms, bonds, angles and statistics; no propensity grid
  std::istringstream in(hdd);
  read_topology_stream(*s, in, "Hdd");
  s->mode = Name4::from(mode);
  return s;
}

}  // namespace vorb::fuzz
