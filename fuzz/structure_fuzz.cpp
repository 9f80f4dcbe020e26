// Structure and template reader, then the start-up steps that consume what they read: matching
// input atoms to the topology and the shift into the lattice frame.
#include "analysis/lattice_shift.hpp"
#include "fuzz_common.hpp"
#include "io/pdb_read.hpp"
#include "model/atom_table.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  // Renumbering, building (numbers kept) and hydrogen-only (lines kept) modes read differently;
  // the input's length picks one, which keeps each run short.
  const char* const modes[] = {"7", "23", "1"};
  auto s = fuzz::peptide_state(modes[size % 3]);
  s->pdbfile = "input.pdb";
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    read_structure_stream(*s, in);
    build_atom_table(*s);
    lattice_frame_shift(*s);
  });
  s = fuzz::peptide_state("3");
  s->tmplfile = "template.pdb";
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    read_template_stream(*s, &in);
  });
  return 0;
}
