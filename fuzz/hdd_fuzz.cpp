// The topology generator on a structure: whatever chain it accepts, the program must read the
// topology it writes, with one residue per chain residue.
#include "fuzz_common.hpp"
#include "structure.hpp"

using namespace vorb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::init();
  std::vector<int> types;
  try {
    std::istringstream in(fuzz::text(data, size));
    tools::Chain c = tools::read_chain_stream(in, "input.pdb");
    for (const tools::Residue& r : c.res) {
      if (r.type == 0) return 0;  // the generator refuses non-standard residues
      types.push_back(r.type);
    }
  } catch (const InputError&) {
    return 0;
  }
  if (types.empty()) return 0;
  std::string hdd;
  try {
    hdd = fuzz::hdd_text(types);
  } catch (const CapacityError&) {
    return 0;
  }
  auto s = std::make_unique<ModelState>();
  s->mode = Name4::from("5");
  std::istringstream in(hdd);
  read_topology_stream(*s, in, "Hdd");  // a read error here is a finding
  if (s->nres != int(types.size())) throw std::logic_error("generated topology lost residues");
  return 0;
}
