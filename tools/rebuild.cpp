#include "rebuild.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "datadir.hpp"
#include "export.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "pack.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: vorb-tools rebuild INPUT [--mode 23|3|31|4|2|1] [--template T] [--chain ID]\n"
    "                          [--model N] [--ca] [--workdir DIR] [--data DIR]\n"
    "                          [--side-chains packed|rules] -o OUT\n"
    "  INPUT, T   PDB or mmCIF files, optionally gzipped\n"
    "  --ca       keep only the C-alpha atoms of INPUT (complete a trace)\n"
    "  --workdir  run in DIR and keep its files (default: a temporary directory)\n"
    "  --side-chains packed (default): VORB's side chains repacked by vorb-tools pack;\n"
    "             rules: VORB's side chains as its rules build them\n"
    "  OUT        .cif or .mmcif for mmCIF, PDB otherwise\n"
    "exit status: 0 with OUT written; 2 for rejected input; VORB's own status when it fails;\n"
    "1 when VORB ends without writing a model (one of its stop messages)";

bool known_mode(const std::string& m) {
  for (const char* k : {"1", "2", "23", "3", "31", "4"})
    if (m == k) return true;
  return false;
}

// A temporary directory removed with everything in it when the job ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "vorb-rebuild-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
      throw InputError("cannot create a temporary directory: " + std::string(std::strerror(errno)));
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::vector<std::string> template_lines(const Prepared& model, const Prepared& templ,
                                        int& matched) {
  matched = 0;
  std::vector<std::string> lines;
  std::vector<bool> taken(model.res.size(), false);
  int serial = 0;
  for (const PrepResidue& t : templ.res) {
    const Vec3* ca = t.res.find(" CA ");
    if (!ca) continue;
    std::size_t k = 0;
    while (k < t.res.atoms.size() && t.res.atoms[k].first != " CA ") ++k;
    for (const PrepResidue& m : model.res) {
      if (m.num != t.num || m.icode != t.icode) continue;
      if (taken[std::size_t(m.res.num - 1)]) break;  // a repeated number: the first one counts
      taken[std::size_t(m.res.num - 1)] = true;
      ffmt::RecordWriter w;
      w.a("ATOM  ").i(++serial, 5).x(1).a(" CA ", 4).x(1).a(t.res.name, 3).x(1).a(" ", 1);
      w.i(m.res.num, 4).x(4).f(t.pos[k][0], 8, 3).f(t.pos[k][1], 8, 3).f(t.pos[k][2], 8, 3);
      w.f(1.0, 6, 2).f(0.0, 6, 2).x(10).a("C", 2);
      lines.push_back(w.str());
      ++matched;
      break;
    }
  }
  if (matched == 0)
    throw InputError(templ.source, 0, "no C-alpha atom of the template has the residue number "
                                      "of a residue of " + model.source);
  lines.push_back("TER");
  lines.push_back("END");
  return lines;
}

int run_in_dir(const std::string& exe, const std::vector<std::string>& args,
               const std::string& dir) {
  std::vector<std::string> store{exe};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    if (::chdir(dir.c_str()) == 0) ::execv(exe.c_str(), argv.data());
    std::fprintf(stderr, "cannot run %s in %s: %s\n", exe.c_str(), dir.c_str(),
                 std::strerror(errno));
    std::fflush(stderr);
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 127;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 127;
}

int rebuild(const RebuildOptions& opt) {
  if (!known_mode(opt.mode)) throw InputError("--mode " + opt.mode + ": not one of 23, 3, 31, 4, 2, 1");
  std::error_code ec;
  const fs::path out_dir = fs::absolute(opt.output).parent_path();
  if (!fs::is_directory(out_dir, ec))
    throw InputError(opt.output + ": the directory " + out_dir.string() + " does not exist");

  // Everything that can be rejected is looked at before anything is written or run.
  Prepared p = prepare_structure(opt.input, opt.prep);
  std::vector<std::string> tmpl;
  int matched = 0;
  if (!opt.templ.empty()) {
    PrepOptions topt;
    Prepared t = prepare_structure(opt.templ, topt);
    tmpl = template_lines(p, t, matched);
  }
  const std::string data = find_data_dir(opt.data);
  const std::string bbdat = fs::absolute(fs::path(data) / "BBdat").string();
  if (opt.mode != "1" && !fs::is_regular_file(bbdat, ec))
    throw InputError(bbdat + ": no backbone fragment library");
  const std::string vorb = find_vorb();
  Tables tables = read_tables(find_tables_dir(data));
  if (opt.pack) rotamer_library_path(data);

  std::unique_ptr<ScratchDir> scratch;
  std::string dir = opt.workdir;
  if (dir.empty()) {
    scratch = std::make_unique<ScratchDir>();
    dir = scratch->path();
  }
  write_prepared(p, tables, dir);
  for (const std::string& l : prep_report(p)) std::printf("%s\n", l.c_str());
  std::vector<std::string> args{opt.mode, "input.pdb"};
  if (opt.mode != "1") args.push_back(bbdat);
  if (!tmpl.empty()) {
    OutputFile t((fs::path(dir) / "template.pdb").string());
    for (const std::string& l : tmpl) t.line(l);
    t.commit();
    args.push_back("template.pdb");
    std::printf("  template %s: %d C-alpha atom(s) matched by residue number\n",
                opt.templ.c_str(), matched);
  }
  std::printf("running %s", vorb.c_str());
  for (const std::string& a : args) std::printf(" %s", a.c_str());
  std::printf(" in %s\n", opt.workdir.empty() ? "a temporary directory" : dir.c_str());

  const int status = run_in_dir(vorb, args, dir);
  if (status != 0) {
    std::fprintf(stderr, "vorb-tools rebuild: VORB ended with exit status %d; no model written\n",
                 status);
    return status;
  }
  const fs::path model = fs::path(dir) / "input.pdb.h";
  if (!fs::is_regular_file(model, ec)) {
    std::fprintf(stderr,
                 "vorb-tools rebuild: VORB ended without writing a model (see its messages "
                 "above); nothing written\n");
    return 1;
  }
  if (opt.pack) {
    const std::string unpacked = (fs::path(dir) / "unpacked.pdb").string();
    export_model(model.string(), (fs::path(dir) / "residues.tsv").string(), unpacked);
    PackOptions po;
    po.input = unpacked;
    po.output = opt.output;
    po.data = data;
    pack_structure(po);
  } else {
    export_model(model.string(), (fs::path(dir) / "residues.tsv").string(), opt.output);
  }
  std::printf("model written to %s\n", opt.output.c_str());
  return 0;
}

int cmd_rebuild(const Args& args) {
  RebuildOptions opt;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    bool has_value = k + 1 < args.size();
    if (a == "-h" || a == "--help") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (a == "-o" && has_value) {
      opt.output = args[++k];
    } else if (a == "--mode" && has_value) {
      opt.mode = args[++k];
    } else if (a == "--template" && has_value) {
      opt.templ = args[++k];
    } else if (a == "--chain" && has_value) {
      opt.prep.chain = args[++k];
    } else if (a == "--model" && has_value) {
      opt.prep.model = args[++k];
    } else if (a == "--workdir" && has_value) {
      opt.workdir = args[++k];
    } else if (a == "--data" && has_value) {
      opt.data = args[++k];
    } else if (a == "--side-chains" && has_value && (args[k + 1] == "packed" || args[k + 1] == "rules")) {
      opt.pack = args[++k] == "packed";
    } else if (a == "--ca") {
      opt.prep.ca_only = true;
    } else if (!a.empty() && a[0] == '-') {
      throw InputError(kUsage);
    } else if (opt.input.empty()) {
      opt.input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (opt.input.empty() || opt.output.empty()) throw InputError(kUsage);
  return rebuild(opt);
}

}  // namespace vorb::tools
