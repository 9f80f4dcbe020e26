#include "rebuild.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include "datadir.hpp"
#include "export.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "pack.hpp"
#include "model/errors.hpp"
#include "outputs.hpp"
#include "sequence_fit.hpp"
#include "trace_regularize.hpp"
#include "trace_ss.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: vorb-tools rebuild INPUT [--mode 23|3|31|4|2|1] [--template T | --no-template]\n"
    "                          [--chain ID[,ID...]] [--model N] [--ca] [--no-hetero]\n"
    "                          [--regularize auto|on|off] [--sequence SEQ]\n"
    "                          [--side-chains packed|rules] [--workdir DIR] [--data DIR] -o OUT\n"
    "  INPUT, T   PDB or mmCIF files, optionally gzipped, \"-\" for standard input\n"
    "  --template modes 3, 31, 4: restrain to the C-alpha atoms of T (default: those of INPUT);\n"
    "             --no-template runs them without a template\n"
    "  --chain    chains to model (repeatable; ' ' for a blank one); default: every protein chain\n"
    "             of the model; each segment between chain breaks is modelled on its own\n"
    "  --ca       keep only the C-alpha atoms of INPUT (complete a trace)\n"
    "  --sequence FASTA_FILE_OR_LETTERS  the whole chain's sequence (one chain; default in mode\n"
    "             31: the SEQRES or entity sequence of INPUT); residues INPUT lacks are built in\n"
    "             mode 31, and the chain is then modelled in one run across its gaps\n"
    "  --regularize auto|on|off  move the C-alpha atoms of a trace to 3.8 A steps and no other\n"
    "             pair under 4.0 A (auto, the default: when steps outside 3.6..4.0 A and other\n"
    "             pairs under 3.8 A number a tenth of the steps or more: a noisy trace)\n"
    "  --side-chains packed (default; not in mode 1): VORB's side chains repacked as by\n"
    "             vorb-tools pack; rules: VORB's side chains as its rules build them\n"
    "  --no-hetero  leave out the chains' hetero groups (ligands, ions, waters), which are\n"
    "             otherwise copied unchanged into OUT\n"
    "  --workdir  run in DIR and keep its files (default: a temporary directory); with several\n"
    "             runs (chains, segments) each has a directory DIR/run1, DIR/run2, ...\n"
    "  OUT        .cif or .mmcif for mmCIF, PDB otherwise, \"-\" for standard output; in the\n"
    "             frame of INPUT\n"
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

// The chain placed on its whole sequence (--sequence, or in mode 31 the file's own), so that
// mode 31 builds the residues the input lacks.
struct SequenceStep {
  bool fitted = false;
  std::string line;  // for the report
};

SequenceStep place_on_sequence(Prepared& p, const RebuildOptions& opt) {
  SequenceStep step;
  std::vector<std::string> seq;
  const bool given = !opt.sequence.empty();
  if (given)
    seq = sequence_argument(opt.sequence);
  else if (opt.mode == "31")
    seq = file_sequence(opt.input, p.chain);
  if (seq.empty()) {
    step.line = opt.mode == "31" ? unextended_ends_warning(p) : "";
    return step;
  }
  SequenceFit fit;
  if (given) {
    fit = fit_sequence(p, seq);
  } else {
    // The file's own sequence may not fit its residues (another numbering, an expression tag
    // the alignment cannot place): the chain is then modelled as it stands.
    Prepared placed = p;
    try {
      fit = fit_sequence(placed, seq);
    } catch (const InputError& e) {
      step.line = std::string("warning: the SEQRES or entity sequence is not used: ") + e.what();
      return step;
    }
    p = std::move(placed);
  }
  if (fit.added > 0 && opt.mode != "31")
    throw InputError(opt.input, 0, "the sequence adds " + std::to_string(fit.added) +
                                       " residue(s) the input lacks; they are built in --mode 31 only");
  step.fitted = true;
  step.line = fit.note;
  return step;
}

// A trace refined without a seq.dat of its own (its backbone is absent) takes the
// secondary structure of its C-alpha atoms.
bool trace_ss_wanted(const Prepared& p, const RebuildOptions& opt) {
  if (!(opt.mode == "3" || opt.mode == "31" || opt.mode == "4")) return false;
  return !p.backbone_complete() && is_trace(p);
}

}  // namespace

namespace {

// Side chains are repacked after every building mode; mode 1 only adds hydrogens.
bool packs(const RebuildOptions& opt) { return opt.pack && opt.mode != "1"; }

std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool uses_own_template(const RebuildOptions& opt) {
  return opt.templ.empty() && !opt.no_template &&
         (opt.mode == "3" || opt.mode == "31" || opt.mode == "4");
}

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

namespace {

// One run of VORB: a modelled segment of a chain, with its template records.
struct Run {
  std::size_t chain = 0;
  const Segment* seg = nullptr;
  std::vector<std::string> tmpl;
  int matched = 0;
  std::string dir;
};

// The template chain for a model chain: the one of the same name; for a single model chain,
// else the template's first protein chain (numbers of another chain would match wrongly).
const Prepared* template_for(const std::vector<Prepared>& templ, const std::string& chain,
                             std::size_t model_chains) {
  for (const Prepared& t : templ)
    if (t.chain == chain) return &t;
  return model_chains == 1 ? &templ.front() : nullptr;
}

// Runs VORB in each run's directory; 0 when every run wrote a model, else the status to return.
int run_all(const std::vector<Run>& runs, const std::vector<Prepared>& chains,
            const RebuildOptions& opt, const std::string& vorb, const std::string& bbdat,
            const Tables& tables) {
  for (const Run& r : runs) {
    write_prepared(r.seg->part, tables, r.dir);
    if (trace_ss_wanted(r.seg->part, opt)) {
      OutputFile sd((fs::path(r.dir) / "seq.dat").string());
      for (const std::string& l : trace_seq_dat_lines(r.seg->part)) sd.line(l);
      sd.commit();
    }
    std::vector<std::string> args{opt.mode, "input.pdb"};
    if (opt.mode != "1") args.push_back(bbdat);
    if (!r.tmpl.empty()) {
      OutputFile t((fs::path(r.dir) / "template.pdb").string());
      for (const std::string& l : r.tmpl) t.line(l);
      t.commit();
      args.push_back("template.pdb");
      if (opt.templ.empty())
        std::printf("  template: the input's own %d C-alpha atom(s)\n", r.matched);
      else
        std::printf("  template %s: %d C-alpha atom(s) matched by residue number\n",
                    opt.templ.c_str(), r.matched);
    } else if (!opt.templ.empty()) {
      std::printf("  template %s has no chain %s: this run has no template\n", opt.templ.c_str(),
                  chain_label(chains[r.chain].chain).c_str());
    }
    std::printf("running %s", vorb.c_str());
    for (const std::string& a : args) std::printf(" %s", a.c_str());
    if (runs.size() > 1)
      std::printf(" for chain %s, %s to %s", chain_label(chains[r.chain].chain).c_str(),
                  original_label(r.seg->part.res.front()).c_str(),
                  original_label(r.seg->part.res.back()).c_str());
    std::printf(" in %s\n", opt.workdir.empty() ? "a temporary directory" : r.dir.c_str());
    const int status = run_in_dir(vorb, args, r.dir);
    std::error_code ec;
    if (status != 0) {
      std::fprintf(stderr, "vorb-tools rebuild: VORB ended with exit status %d; no model written\n",
                   status);
      return status;
    }
    if (!fs::is_regular_file(fs::path(r.dir) / "input.pdb.h", ec)) {
      std::fprintf(stderr,
                   "vorb-tools rebuild: VORB ended without writing a model (see its messages "
                   "above); nothing written\n");
      return 1;
    }
  }
  return 0;
}

// The output's residues: per chain its segments in order (models in the input's frame, short
// ones as in the input), then its hetero groups.
std::vector<OutResidue> combine(const std::vector<Prepared>& chains,
                                const std::vector<std::vector<Segment>>& plans,
                                const std::vector<Run>& runs) {
  std::vector<OutResidue> out;
  std::size_t next = 0;
  for (std::size_t c = 0; c < chains.size(); ++c) {
    for (const Segment& s : plans[c]) {
      std::vector<OutResidue> part;
      if (s.modelled) {
        std::array<double, 3> offset{};
        part = run_model(runs[next++].dir, offset);
      } else {
        part = input_residues(s.part);
      }
      out.insert(out.end(), part.begin(), part.end());
    }
    const std::vector<OutResidue> het = hetero_residues(chains[c]);
    out.insert(out.end(), het.begin(), het.end());
  }
  return out;
}

}  // namespace

int rebuild(const RebuildOptions& opt) {
  if (!known_mode(opt.mode)) throw InputError("--mode " + opt.mode + ": not one of 23, 3, 31, 4, 2, 1");
  std::error_code ec;
  const fs::path out_dir = fs::absolute(opt.output).parent_path();
  if (!fs::is_directory(out_dir, ec))
    throw InputError(opt.output + ": the directory " + out_dir.string() + " does not exist");
  check_output_writable(opt.output);
  StdoutAside aside(opt.output == "-");  // with -o -, standard output holds the model alone

  // Everything that can be rejected is looked at before anything is written or run.
  std::vector<std::string> names = opt.chains;
  if (names.empty() && !opt.prep.chain.empty()) names.push_back(opt.prep.chain);
  std::vector<Prepared> chains = prepare_chains(opt.input, opt.prep, names);
  if (!opt.sequence.empty() && chains.size() > 1)
    throw InputError(opt.input, 0, "--sequence gives the sequence of one chain, and " +
                                       std::to_string(chains.size()) +
                                       " chains are to be modelled: name one with --chain");
  // A chain placed on its whole sequence is modelled in one run, mode 31 building its gaps.
  std::vector<SequenceStep> steps;
  std::vector<std::string> regularized;
  for (Prepared& p : chains) {
    steps.push_back(place_on_sequence(p, opt));
    regularized.push_back(regularize_prepared(p, opt.regularize, steps.back().fitted));
  }
  std::vector<std::vector<Segment>> plans;
  std::vector<Run> runs;
  for (std::size_t c = 0; c < chains.size(); ++c)
    plans.push_back(plan_segments(chains[c], steps[c].fitted ? GapPolicy::fill : opt.gaps));
  for (std::size_t c = 0; c < chains.size(); ++c)
    for (const Segment& s : plans[c])
      if (s.modelled) runs.push_back(Run{c, &s, {}, 0, ""});
  if (runs.empty())
    throw InputError(opt.input, 0, "no chain or segment of at least " + std::to_string(kMinSegment) +
                                       " residues to model");
  if (!opt.templ.empty()) {
    PrepOptions topt;
    const std::vector<Prepared> templ = prepare_chains(opt.templ, topt, {});
    for (Run& r : runs) {
      const Prepared* t = template_for(templ, chains[r.chain].chain, chains.size());
      if (t) r.tmpl = template_lines(r.seg->part, *t, r.matched);
    }
  } else if (uses_own_template(opt)) {
    for (Run& r : runs) r.tmpl = template_lines(r.seg->part, r.seg->part, r.matched);
  }
  const std::string data = find_data_dir(opt.data);
  const std::string bbdat = fs::absolute(fs::path(data) / "BBdat").string();
  if (opt.mode != "1" && !fs::is_regular_file(bbdat, ec))
    throw InputError(bbdat + ": no backbone fragment library");
  const std::string vorb = find_vorb();
  Tables tables = read_tables(find_tables_dir(data));
  if (packs(opt)) rotamer_library_path(data);

  std::unique_ptr<ScratchDir> scratch;
  std::string dir = opt.workdir;
  if (dir.empty()) {
    scratch = std::make_unique<ScratchDir>();
    dir = scratch->path();
  }
  // One run keeps the working directory's layout; several runs get a directory each.
  for (std::size_t k = 0; k < runs.size(); ++k)
    runs[k].dir = runs.size() == 1 ? dir : (fs::path(dir) / ("run" + std::to_string(k + 1))).string();
  for (std::size_t c = 0; c < chains.size(); ++c) {
    for (const std::string& l : prep_report(chains[c])) std::printf("%s\n", l.c_str());
    for (const std::string& l : segment_messages(chains[c], plans[c])) std::printf("%s\n", l.c_str());
    if (!steps[c].line.empty()) std::printf("  %s\n", steps[c].line.c_str());
    if (!regularized[c].empty()) std::printf("  trace regularized: %s\n", regularized[c].c_str());
  }
  const int status = run_all(runs, chains, opt, vorb, bbdat, tables);
  if (status != 0) return status;
  const std::string title = fs::path(opt.output).stem().string();
  const ExportFormat format = opt.output == "-" ? ExportFormat::pdb : format_for(opt.output);
  std::string text = structure_text(combine(chains, plans, runs), format, title);
  if (packs(opt)) {
    // The combined model (every chain, hetero groups) is packed as a whole, across chains.
    const std::string ext = format == ExportFormat::mmcif ? ".cif" : ".pdb";
    PackOptions po;
    po.input = (fs::path(dir) / ("unpacked" + ext)).string();
    po.output = (fs::path(dir) / ("packed" + ext)).string();
    po.data = data;
    write_text(text, po.input);
    pack_structure(po);
    text = read_text_file(po.output);
  }
  aside.restore();
  write_text(text, opt.output);
  std::fprintf(report_stream(opt.output), "model written to %s (chains %s, in the input's frame)\n", opt.output.c_str(), [&] {
    std::string s;
    for (const Prepared& c : chains) s += (s.empty() ? "" : ", ") + chain_label(c.chain);
    return s;
  }().c_str());
  return 0;
}

int cmd_rebuild(const Args& args) {
  RebuildOptions opt;
  opt.prep.hetero = true;
  std::vector<std::string> chain_values;
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
    } else if (a == "--no-template") {
      opt.no_template = true;
    } else if (a == "--chain" && has_value) {
      chain_values.push_back(args[++k]);
    } else if (a == "--no-hetero") {
      opt.prep.hetero = false;
    } else if (a == "--model" && has_value) {
      opt.prep.model = args[++k];
    } else if (a == "--workdir" && has_value) {
      opt.workdir = args[++k];
    } else if (a == "--data" && has_value) {
      opt.data = args[++k];
    } else if (a == "--sequence" && has_value) {
      opt.sequence = args[++k];
    } else if (a == "--regularize" && has_value) {
      opt.regularize = parse_regularize(args[++k]);
    } else if (a == "--side-chains" && has_value && (args[k + 1] == "packed" || args[k + 1] == "rules")) {
      opt.pack = args[++k] == "packed";
    } else if (a == "--ca") {
      opt.prep.ca_only = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InputError(kUsage);
    } else if (opt.input.empty()) {
      opt.input = a;
    } else {
      throw InputError(kUsage);
    }
  }
  if (opt.input.empty() || opt.output.empty()) throw InputError(kUsage);
  if (opt.no_template && !opt.templ.empty())
    throw InputError("--template and --no-template exclude each other");
  opt.chains = chain_list(chain_values);
  return rebuild(opt);
}

}  // namespace vorb::tools
