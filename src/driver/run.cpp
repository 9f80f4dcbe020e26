#include "driver/run.hpp"

#include <iostream>
#include <memory>

#include "analysis/lattice_shift.hpp"
#include "builders/completion_run.hpp"
#include "builders/hydrogen_run.hpp"
#include "driver/analysis_run.hpp"
#include "io/ffmt.hpp"
#include "io/file_set.hpp"
#include "io/pdb_read.hpp"
#include "io/topology_read.hpp"
#include "model/atom_table.hpp"
#include "model/errors.hpp"
#include "model/modes.hpp"
#include "refine/schedule.hpp"

namespace vorb {
namespace {

const char* const kUsage[] = {
    "USING Guide::",
    "./VORB 1  xx.pdb (ADD H only, check xx.pdb.h)",
    "./VORB 2  xx.pdb BBdat (ADD backbone, CA fixed, one output xx.pdb.h, HB opt)",
    "./VORB 23 xx.pdb BBdat ( keep other part fixed,ADD backbone and H xx.pdb.h,fast)",
    ("./VORB 3  xx.pdb BBdat [template] (same as 2, add template, CA flexible,out xx.pdb.fix and "
     "xx.pdb.h)"),
    "./VORB 31 xx.pdb BBdat [template] (based on Hdd, build missing CA, and then same as 3)",
    "./VORB 4  xx.pdb BBdat [template] (same as 3, max template restraints)",
    "./VORB 5  xx.pdb (Hbond list (on screen) and chi1 file phi/psi/chi1/chi2 list)",
    "./VORB 6  xx.pdb (ADD H and count H-bond,mkrestraints:  PRHB2 HBlist)",
    "                 (input: seq.dat, PRHB, xx.pdb; output: PRHB2)",
    "./VORB 66  xx.pdb (same as 6, but use Hbondlist from current structure only)",
    "./VORB 7   xx.pdb (chi1 and chi2 only, without set as 0)",
    "./VORB 8   xx.pdb (output seq0.dat based on phi/psi)",
};

std::string rtrim(std::string t) {
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// An input none of whose atoms matches a topology atom leaves every atom missing, and no branch
// has anything to work on: rejected rather than written out as an empty model.
void check_input_matches(const ModelState& s) {
  for (int i = 1; i <= s.natom; ++i)
    if (s.tkfp(i) > 0) return;
  std::string what = "none of its " + std::to_string(s.npdb) +
                     " atoms matches an atom of Hdd by atom name, residue name and residue number";
  if (is_building_mode(s))
    what += " (this mode needs residues numbered 1.." + std::to_string(s.nres) + " as in Hdd)";
  throw InputError(s.pdbfile, 0, what);
}

}  // namespace

void run(ModelState& s, const std::vector<std::string>& args) {
  // Start-up, step 1: mode and structure name; a name shorter than 2 characters gets the usage.
  s.nargs = int(args.size());
  s.mode = Name4::from(args.size() > 0 ? std::string_view(args[0]) : std::string_view());
  s.pdbfile = args.size() > 1 ? rtrim(args[1]) : std::string();
  if (args.size() > 2) s.libfile = rtrim(args[2]);
  if (args.size() > 3) s.tmplfile = rtrim(args[3]);
  if (s.pdbfile.size() < 2) {
    for (const char* line : kUsage) message_stream() << (ffmt::ListWriter() << line).str() << '\n';
    return;
  }

  // Step 2: initial settings.
  s.icycle = 0;
  s.margin = 30;
  s.nlat = 330;
  s.nrange = 2;
  for (int t = 1; t <= 3; ++t)
    for (int c = 1; c <= 3; ++c) s.nmove(t, c) = 0;

  // Steps 3-6: structure, topology, atom table, lattice frame.
  read_structure(s);
  read_topology(s, "Hdd");
  build_atom_table(s);
  // A seed given starts the stream afresh from it (a seed <= 0 reinitialises the generator).
  if (FileSet* set = current_file_set(); set && set->seed) s.iseed = -*set->seed;
  check_input_matches(s);
  lattice_frame_shift(s);

  // Dispatch: the first matching row wins.
  if (s.mode_is("1")) {
    hydrogen_only_run(s);
  } else if (s.mode_is("7") || s.mode_is("8")) {
    torsion_run(s);
  } else if (is_building_mode(s)) {
    completion_run(s);
    if (!s.mode_is("23")) refinement_schedule(s);
  } else {
    hbond_analysis_run(s);
  }
}

int run_main(const std::vector<std::string>& args) {
  auto s = std::make_unique<ModelState>();
  try {
    run(*s, args);
  } catch (const StopRun& stop) {
    message_stream().flush();
    error_stream() << "STOP " << stop.message << '\n';
    return 0;
  } catch (const EndRun& end) {
    return end.status;
  } catch (const InputError& e) {
    message_stream().flush();
    error_stream() << e.what() << '\n';
    return 2;
  } catch (const IndexError& e) {
    // A table index out of range means input the readers failed to reject.
    message_stream().flush();
    error_stream() << "internal error: " << e.what() << '\n';
    return 3;
  } catch (const std::exception& e) {
    message_stream().flush();
    error_stream() << "internal error: " << e.what() << '\n';
    return 3;
  }
  message_stream().flush();
  return 0;
}

int run_in_memory(FileSet& files, const std::vector<std::string>& args) {
  UseFileSet use(files);
  return run_main(args);
}

}  // namespace vorb
