#include "rebuild.hpp"

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
#include "driver/run.hpp"
#include "io/aux_read.hpp"
#include "io/ffmt.hpp"
#include "io/output_file.hpp"
#include "pack.hpp"
#include "model/errors.hpp"
#include "outputs.hpp"
#include "report.hpp"
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
    "                          [--side-chains packed|rules] [--seed N] [--workdir DIR] [--data DIR]\n"
    "                          -o OUT\n"
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
    "  --seed N   seed of VORB's random stream (default: its own, the number of atoms)\n"
    "  --workdir  keep the files of the runs (VORB runs in memory) in DIR; with several runs\n"
    "             (chains, segments) each has a directory DIR/run1, DIR/run2, ...\n"
    "  OUT        .cif or .mmcif for mmCIF, PDB otherwise, \"-\" for standard output; in the\n"
    "             frame of INPUT\n"
    "exit status: 0 with OUT written; 2 for rejected input; VORB's own status when it fails;\n"
    "1 when VORB ends without writing a model (one of its stop messages)";

bool known_mode(const std::string& m) {
  for (const char* k : {"1", "2", "23", "3", "31", "4"})
    if (m == k) return true;
  return false;
}

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
    seq = opt.sequence_is_letters ? sequence_letters(opt.sequence, "sequence") : sequence_argument(opt.sequence);
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

namespace {

// One run of VORB: a modelled segment of a chain, with its template records.
struct Run {
  std::size_t chain = 0;
  const Segment* seg = nullptr;
  std::vector<std::string> tmpl;
  int matched = 0;
  std::string dir;  // with --workdir: where its files are kept
  FileSet files;
};

// Writes the files of a run in memory into dir (created when missing), for --workdir.
void keep_files(const FileSet& set, const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) throw InputError(dir, 0, "cannot create the directory");
  for (const auto& [name, text] : set.files) write_text(text, (fs::path(dir) / name).string());
}

// The template chain for a model chain: the one of the same name; for a single model chain,
// else the template's first protein chain (numbers of another chain would match wrongly).
const Prepared* template_for(const std::vector<Prepared>& templ, const std::string& chain,
                             std::size_t model_chains) {
  for (const Prepared& t : templ)
    if (t.chain == chain) return &t;
  return model_chains == 1 ? &templ.front() : nullptr;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + '\n';
  return text;
}

// Runs VORB in memory for each run, its files in runs[k].files; 0 when every run wrote a model,
// else the status to return. With --workdir each run's files are also written to its directory.
int run_all(std::vector<Run>& runs, const std::vector<Prepared>& chains, const RebuildOptions& opt,
            const RebuildData& data) {
  for (Run& r : runs) {
    FileSet& set = r.files;
    for (const PreparedFile& f : prepared_files(r.seg->part, *data.tables)) set.files[f.name] = joined(f.lines);
    if (trace_ss_wanted(r.seg->part, opt)) set.files["seq.dat"] = joined(trace_seq_dat_lines(r.seg->part));
    std::vector<std::string> args{opt.mode, "input.pdb"};
    if (opt.mode != "1") {
      args.push_back(data.bbdat);
      set.libraries[data.bbdat] = data.library;
    }
    if (opt.seed) set.seed = *opt.seed;
    if (!r.tmpl.empty()) {
      set.files["template.pdb"] = joined(r.tmpl);
      args.push_back("template.pdb");
      if (opt.templ.empty())
        report("  template: the input's own " + std::to_string(r.matched) + " C-alpha atom(s)");
      else
        report("  template " + opt.templ + ": " + std::to_string(r.matched) +
               " C-alpha atom(s) matched by residue number");
    } else if (!opt.templ.empty()) {
      report("  template " + opt.templ + " has no chain " + chain_label(chains[r.chain].chain) +
             ": this run has no template");
    }
    std::string line = "running VORB";
    for (const std::string& a : args) line += " " + a;
    if (runs.size() > 1)
      line += " for chain " + chain_label(chains[r.chain].chain) + ", " +
              original_label(r.seg->part.res.front()) + " to " + original_label(r.seg->part.res.back());
    if (!opt.workdir.empty()) line += " (files kept in " + r.dir + ")";
    report(line);
    const int status = run_in_memory(set, args);
    const std::string out = set.out.str(), err = set.err.str();
    std::istringstream o(out), e(err);
    for (std::string l; std::getline(o, l);) report(l);
    for (std::string l; std::getline(e, l);) warn(l);
    if (!opt.workdir.empty()) keep_files(set, r.dir);
    if (status != 0) {
      warn("vorb-tools rebuild: VORB ended with exit status " + std::to_string(status) +
           "; no model written");
      return status;
    }
    if (!set.files.count("input.pdb.h")) {
      warn("vorb-tools rebuild: VORB ended without writing a model (see its messages above); "
           "nothing written");
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
        part = run_model(runs[next++].files, offset);
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

RebuildData read_rebuild_data(const std::string& data_dir, const std::string& mode, bool pack) {
  RebuildData d;
  d.dir = find_data_dir(data_dir);
  d.bbdat = fs::absolute(fs::path(d.dir) / "BBdat").string();
  std::error_code ec;
  if (mode != "1") {
    if (!fs::is_regular_file(d.bbdat, ec)) throw InputError(d.bbdat + ": no backbone fragment library");
    d.library = read_shared_library(d.bbdat);
  }
  d.tables = std::make_shared<const Tables>(read_tables(find_tables_dir(d.dir)));
  if (pack && mode != "1") d.pack = read_pack_data(d.dir);
  return d;
}

RebuildResult rebuild_text(const RebuildOptions& opt, const RebuildData* given) {
  if (!known_mode(opt.mode)) throw InputError("--mode " + opt.mode + ": not one of 23, 3, 31, 4, 2, 1");
  RebuildResult result;
  // Everything that can be rejected is looked at before anything is run.
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
      if (s.modelled) {
        runs.emplace_back();
        runs.back().chain = c;
        runs.back().seg = &s;
      }
  if (runs.empty())
    throw InputError(opt.input, 0, "no chain or segment of at least " + std::to_string(kMinSegment) +
                                       " residues to model");
  if (!opt.templ.empty()) {
    PrepOptions topt;
    topt.text = opt.template_text;
    const std::vector<Prepared> templ = prepare_chains(opt.templ, topt, {});
    for (Run& r : runs) {
      const Prepared* t = template_for(templ, chains[r.chain].chain, chains.size());
      if (t) r.tmpl = template_lines(r.seg->part, *t, r.matched);
    }
  } else if (uses_own_template(opt)) {
    for (Run& r : runs) r.tmpl = template_lines(r.seg->part, r.seg->part, r.matched);
  }
  RebuildData own;
  if (!given) own = read_rebuild_data(opt.data, opt.mode, packs(opt));
  const RebuildData& data = given ? *given : own;
  if (packs(opt) && !data.pack.rotamers) throw InputError("the rotamer library is not loaded");

  // One run keeps the working directory's layout; several runs get a directory each.
  for (std::size_t k = 0; k < runs.size(); ++k)
    runs[k].dir = runs.size() == 1 ? opt.workdir
                                   : (fs::path(opt.workdir) / ("run" + std::to_string(k + 1))).string();
  for (std::size_t c = 0; c < chains.size(); ++c) {
    for (const std::string& l : prep_report(chains[c])) report(l);
    for (const std::string& l : segment_messages(chains[c], plans[c])) report(l);
    if (!steps[c].line.empty()) report("  " + steps[c].line);
    if (!regularized[c].empty()) report("  trace regularized: " + regularized[c]);
  }
  result.status = run_all(runs, chains, opt, data);
  if (result.status != 0) return result;
  for (const Prepared& c : chains) result.chains.push_back(chain_label(c.chain));
  const std::string title = opt.output.empty() ? "model" : fs::path(opt.output).stem().string();
  result.format = opt.output.empty() || opt.output == "-" ? ExportFormat::pdb : format_for(opt.output);
  result.unpacked = combine(chains, plans, runs);
  result.text = structure_text(result.unpacked, result.format, title);
  if (packs(opt)) {
    // The combined model (every chain, hetero groups) is packed as a whole, across chains.
    const std::string name = result.format == ExportFormat::mmcif ? "unpacked.cif" : "unpacked.pdb";
    if (!opt.workdir.empty()) write_text(result.text, (fs::path(opt.workdir) / name).string());
    PackOptions po;
    StructureFile file = StructureFile::from_text(result.text, name);
    const PackSummary sum = pack_file(file, po, data.pack);
    result.text = file.text(name);
    report("side chains packed: " + std::to_string(sum.packed) + " residue(s), " +
           std::to_string(sum.rotamers) + " candidate rotamers");
    if (!opt.workdir.empty())
      write_text(result.text, (fs::path(opt.workdir) / ("packed" + name.substr(8))).string());
  }
  return result;
}

int rebuild(const RebuildOptions& opt, const RebuildData* data) {
  if (!known_mode(opt.mode)) throw InputError("--mode " + opt.mode + ": not one of 23, 3, 31, 4, 2, 1");
  std::error_code ec;
  const fs::path out_dir = fs::absolute(opt.output).parent_path();
  if (!fs::is_directory(out_dir, ec))
    throw InputError(opt.output + ": the directory " + out_dir.string() + " does not exist");
  check_output_writable(opt.output);
  // With -o -, standard output holds the model alone.
  StdoutAside aside(opt.output == "-" && !reports_collected());
  RebuildResult r = rebuild_text(opt, data);
  if (r.status != 0) return r.status;
  aside.restore();
  write_text(r.text, opt.output);
  std::string names;
  for (const std::string& c : r.chains) names += (names.empty() ? "" : ", ") + c;
  const std::string line = "model written to " + opt.output + " (chains " + names + ", in the input's frame)";
  if (reports_collected() || opt.output != "-")
    report(line);
  else
    std::fprintf(report_stream(opt.output), "%s\n", line.c_str());
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
    } else if (a == "--seed" && has_value) {
      const std::string& v = args[++k];
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 1 || n > 2147483647L)
        throw InputError("--seed " + v + ": expected a whole number 1..2147483647");
      opt.seed = int(n);
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
