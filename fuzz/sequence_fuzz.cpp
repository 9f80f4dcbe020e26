// The sequence reader of rebuild --sequence: any text is a sequence of the twenty residues or a
// read error; a sequence it accepts fits a chain numbered along it.
#include "fuzz_common.hpp"
#include "sequence_fit.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  std::vector<std::string> seq;
  try {
    std::istringstream in(fuzz::text(data, size));
    seq = tools::read_sequence_stream(in, "seq.fasta");
  } catch (const InputError&) {
    return 0;
  }
  if (seq.empty()) throw std::logic_error("an empty sequence was accepted");
  // Every other residue present, numbered by position: placed by number, the rest added.
  tools::Prepared p;
  p.source = "in.pdb";
  p.chain = "A";
  for (std::size_t k = 0; k < seq.size(); k += 2) {
    tools::PrepResidue r;
    r.res.name = seq[k];
    r.num = int(k + 1);
    r.res.atoms.emplace_back(" CA ", Vec3{0, 0, 0});
    r.pos.push_back({0, 0, 0});
    p.res.push_back(r);
  }
  const tools::SequenceFit f = tools::fit_sequence(p, seq);
  if (p.res.size() != seq.size() || !f.by_number) throw std::logic_error("sequence not placed");
  return 0;
}
