#include "support/test_support.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace vorb::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static int counter = 0;
  for (;;) {
    path_ = fs::temp_directory_path() /
            ("vorb-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

RunResult run_in(const fs::path& dir, const std::string& command) {
  static int counter = 0;
  std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++counter);
  fs::path out = fs::temp_directory_path() / ("vorb-out-" + tag);
  fs::path err = fs::temp_directory_path() / ("vorb-err-" + tag);
  std::string cmd = "cd '" + dir.string() + "' && " + command + " >'" + out.string() + "' 2>'" +
                    err.string() + "'";
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(out.string());
  r.err = read_file(err.string());
  fs::remove(out);
  fs::remove(err);
  return r;
}

RunResult run_vorb(const fs::path& dir, const std::string& args) {
  return run_in(dir, std::string("'") + VORB_BIN + "' " + args);
}

RunResult run_tools(const fs::path& dir, const std::string& args) {
  return run_in(dir, std::string("'") + VORB_TOOLS_BIN + "' " + args);
}

std::string data_path(const std::string& name) { return std::string(VORB_TEST_DATA) + "/" + name; }

std::string shared_dir() {
  fs::path p = VORB_SHARED_DIR;
  std::error_code ec;
  if (!fs::is_directory(p, ec)) return "";
  return fs::canonical(p, ec).string();
}

std::unique_ptr<ModelState> make_state() { return std::make_unique<ModelState>(); }

}  // namespace vorb::test
