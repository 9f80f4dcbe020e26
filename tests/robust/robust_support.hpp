// A working directory for end-to-end runs on bad input: the files put there, a run of VORB, and
// what the run left behind.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace vorb::test {

// Lines of a text, each without its line end.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::size_t b = 0;
  while (b < text.size()) {
    std::size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    out.push_back(text.substr(b, e - b));
    b = e + 1;
  }
  return out;
}

inline std::string joined(const std::vector<std::string>& lines) {
  std::string t;
  for (const std::string& l : lines) t += l + '\n';
  return t;
}

// The test pentapeptide (MET GLN ILE PHE VAL, every heavy atom) and its C-alpha trace.
inline std::string penta_pdb() { return read_file(data_path("robust/penta.pdb")); }
inline std::string penta_trace() {
  std::string t;
  for (const std::string& l : lines_of(penta_pdb()))
    if (l.size() > 16 && l.substr(12, 4) == " CA ") t += l + '\n';
  return t;
}

// The topology vorb-tools generates for a structure's text or for a one-letter sequence.
inline std::string generated_hdd(const std::string& pdb_or_sequence, bool is_sequence = false) {
  static std::map<std::pair<std::string, bool>, std::string> cache;
  auto key = std::make_pair(pdb_or_sequence, is_sequence);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  TempDir d;
  RunResult r;
  if (is_sequence) {
    r = run_tools(d.path(), "hdd --sequence " + pdb_or_sequence + " -o Hdd");
  } else {
    write_file(d.file("in.pdb"), pdb_or_sequence);
    r = run_tools(d.path(), "hdd in.pdb -o Hdd");
  }
  if (r.status != 0) throw std::runtime_error("vorb-tools hdd failed: " + r.err);
  return cache[key] = read_file(d.file("Hdd"));
}

class Workdir {
 public:
  // Every input file put here; anything else found after a run was written by it.
  void put(const std::string& name, const std::string& text) {
    write_file(dir_.file(name), text);
    inputs_.insert(name);
  }
  void mkdir(const std::string& name) {
    std::filesystem::create_directory(dir_.path() / name);
    inputs_.insert(name);
  }
  void symlink(const std::string& name, const std::string& target) {
    std::filesystem::create_symlink(target, dir_.path() / name);
    inputs_.insert(name);
  }
  std::string file(const std::string& name) const { return dir_.file(name); }
  std::string read(const std::string& name) const { return read_file(dir_.file(name)); }
  bool has(const std::string& name) const { return std::filesystem::exists(dir_.path() / name); }
  RunResult run(const std::string& args) const { return run_vorb(dir_.path(), args); }
  // Names in the directory that were not put there: outputs and temporary files.
  std::set<std::string> written() const {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      std::string n = e.path().filename().string();
      if (!inputs_.count(n)) out.insert(n);
    }
    return out;
  }

 private:
  TempDir dir_;
  std::set<std::string> inputs_;
};

// A run that ended with the given status and error line (none when empty) and wrote nothing.
inline void expect_refused(const Workdir& wd, const RunResult& r, int status,
                           const std::string& err, const std::string& context = "") {
  EXPECT_EQ(r.status, status) << context << "\n" << r.out << r.err;
  EXPECT_EQ(r.err, err.empty() ? err : err + "\n") << context;
  EXPECT_EQ(wd.written(), std::set<std::string>{}) << context;
}

}  // namespace vorb::test
