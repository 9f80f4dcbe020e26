// The entity sequence of a chain: a gemmi unit of its own.
#include <gemmi/gz.hpp>
#include <gemmi/mmread.hpp>
#include <gemmi/polyheur.hpp>

#include "model/errors.hpp"
#include "model/residues.hpp"
#include "sequence_fit.hpp"

namespace vorb::tools {

std::vector<std::string> file_sequence(const std::string& path, const std::string& chain) {
  gemmi::Structure st;
  try {
    st = gemmi::read_structure(gemmi::MaybeGzipped(path));
  } catch (const std::exception& e) {
    throw InputError(path, 0, std::string("cannot read the structure: ") + e.what());
  }
  gemmi::setup_entities(st);
  if (st.models.empty()) return {};
  for (const gemmi::Chain& c : st.models[0].chains) {
    if (c.name != chain) continue;
    const gemmi::Entity* ent = st.get_entity_of(c.get_polymer());
    if (!ent || ent->full_sequence.empty()) continue;
    std::vector<std::string> out;
    for (const std::string& mon : ent->full_sequence) {
      std::string m = gemmi::Entity::first_mon(mon);
      if (m == "MSE") m = "MET";
      if (residue_type(m) == 0) return {};  // caps, ligands or modified residues: not used
      out.push_back(m);
    }
    return out;
  }
  return {};
}

}  // namespace vorb::tools
