// The tools' structure reader (PDB or mmCIF, gzipped or not, told from the content) and the
// scorer on what it reads: a chain scored against itself matches each residue number once.
#include <set>
#include <utility>

#include "fuzz_common.hpp"
#include "score.hpp"
#include "structure.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  std::vector<tools::Chain> chains;
  try {
    chains = tools::protein_chains_from_text(fuzz::text(data, size), "input");
  } catch (const InputError&) {
    return 0;
  }
  for (const tools::Chain& c : chains) {
    std::set<std::pair<int, char>> numbers;
    for (const tools::Residue& r : c.res) {
      if (r.atoms.empty()) throw std::logic_error("a residue without atoms");
      numbers.emplace(r.num, r.icode);
    }
    const tools::Score s = tools::score(c, c, tools::Matching::by_number);
    if (s.residues != int(numbers.size())) throw std::logic_error("self-score lost residues");
  }
  return 0;
}
