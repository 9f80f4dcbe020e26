// Restraint files and the sequence file against the peptide topology: every stored row must
// name residues of the model.
#include "fuzz_common.hpp"
#include "io/aux_read.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  const std::string input = fuzz::text(data, size);
  auto s = fuzz::peptide_state("3");
  auto in_chain = [&](int i, int j) { return i >= 1 && i <= s->nres && j >= 1 && j <= s->nres; };
  for (RestraintFile f : {RestraintFile::dist, RestraintFile::distl, RestraintFile::comb}) {
    fuzz::expect_sound([&] {
      std::istringstream in(input);
      read_restraint_stream(*s, f, in, "restraints", 0.3f);
    });
  }
  for (int n = 1; n <= s->ndist; ++n)
    if (!in_chain(s->rsd(n, 1), s->rsd(n, 2))) throw std::logic_error("dist.dat row kept");
  for (int n = 1; n <= s->ndistl; ++n)
    if (!in_chain(s->rsdl(n, 1), s->rsdl(n, 2))) throw std::logic_error("distL.dat row kept");
  for (int n = 1; n <= s->ncomb; ++n)
    if (!in_chain(s->combsca(n, 1), s->combsca(n, 2)) || !(s->pcombca(n) > 0.3f))
      throw std::logic_error("combCA.dat row kept");
  fuzz::expect_sound([&] {
    std::istringstream in(input);
    read_seq_stream(*s, in, "seq.dat");
  });
  return 0;
}
