// Writing standard PDB and mmCIF through gemmi: the only unit that holds gemmi's writers.
// gemmi's PDB writer formats into fixed buffers that the compiler cannot prove wide enough.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/model.hpp>
#include <gemmi/polyheur.hpp>  // for setup_entities
#include <gemmi/to_cif.hpp>    // for write_cif_to_stream
#include <gemmi/to_mmcif.hpp>  // for make_mmcif_document
#include <gemmi/to_pdb.hpp>    // for write_pdb
#undef GEMMI_WRITE_IMPLEMENTATION
#pragma GCC diagnostic pop

#include <sstream>

#include "export.hpp"
#include "model/errors.hpp"

namespace vorb::tools {
namespace {

// _pdbx_poly_seq_scheme: the residues of each polymer chain with both numberings, which some
// readers take the chain's residues from.
void add_poly_seq_scheme(const gemmi::Structure& st, gemmi::cif::Block& block) {
  gemmi::cif::Loop& loop = block.init_mmcif_loop(
      "_pdbx_poly_seq_scheme.",
      {"asym_id", "entity_id", "seq_id", "mon_id", "ndb_seq_num", "pdb_seq_num", "auth_seq_num",
       "pdb_mon_id", "auth_mon_id", "pdb_strand_id", "pdb_ins_code", "hetero"});
  for (const gemmi::Chain& c : st.models.front().chains) {
    const gemmi::Entity* ent = nullptr;
    for (const gemmi::Entity& e : st.entities)
      if (!e.subchains.empty() && e.subchains.front() == c.name) ent = &e;
    for (const gemmi::Residue& r : c.residues) {
      const std::string seq = r.label_seq.str();
      const std::string num = r.seqid.num.str();
      loop.add_row({c.name, ent ? ent->name : "?", seq, r.name, seq, num, num, r.name, r.name,
                    c.name, r.seqid.icode == ' ' ? "." : std::string(1, r.seqid.icode), "n"});
    }
  }
}

}  // namespace

std::string export_text(const std::vector<ModelAtom>& atoms, const std::vector<MapRow>& map,
                        ExportFormat format, const std::string& title) {
  gemmi::Structure st;
  st.name = title;
  st.models.emplace_back("1");
  gemmi::Model& model = st.models.back();
  int serial = 0;
  const ModelAtom* prev = nullptr;
  for (const ModelAtom& a : atoms) {
    if (!prev || a.resnum != prev->resnum || a.res3 != prev->res3) {
      std::string chain = "A";
      gemmi::SeqId id(a.resnum, ' ');
      if (!map.empty()) {
        if (a.resnum < 1 || std::size_t(a.resnum) > map.size())
          throw InputError("residue " + std::to_string(a.resnum) +
                           " of the model is not in the residue map (1.." +
                           std::to_string(map.size()) + ")");
        const MapRow& row = map[std::size_t(a.resnum - 1)];
        if (row.residue != a.res3)
          throw InputError("residue " + std::to_string(a.resnum) + " is " + a.res3 +
                           " in the model but " + row.residue + " in the residue map");
        chain = row.chain;
        id = gemmi::SeqId(row.number, row.icode);
      }
      if (model.chains.empty() || model.chains.back().name != chain)
        model.chains.emplace_back(chain);
      gemmi::Chain& c = model.chains.back();
      gemmi::Residue r;
      r.name = a.res3;
      r.seqid = id;
      r.het_flag = 'A';
      r.entity_type = gemmi::EntityType::Polymer;
      r.label_seq = int(c.residues.size()) + 1;
      c.residues.push_back(r);
    }
    prev = &a;
    gemmi::Atom at;
    at.name = standard_atom_name(a.res3, a.name4);
    at.element = gemmi::Element(std::string(1, a.name4[1]));
    at.pos = gemmi::Position(a.x, a.y, a.z);
    at.occ = 1.0f;
    at.b_iso = 0.0f;
    at.serial = ++serial;
    model.chains.back().residues.back().atoms.push_back(at);
  }
  // One polymer entity per chain, its label_asym_id the chain name, as the archive's readers
  // expect of a complete file.
  for (gemmi::Chain& c : model.chains) {
    gemmi::Entity ent(std::to_string(st.entities.size() + 1));
    ent.entity_type = gemmi::EntityType::Polymer;
    ent.polymer_type = gemmi::PolymerType::PeptideL;
    ent.subchains.push_back(c.name);
    for (gemmi::Residue& r : c.residues) {
      r.subchain = c.name;
      ent.full_sequence.push_back(r.name);
    }
    st.entities.push_back(ent);
  }
  // A model has no crystal: P 1 is named so that readers need not assume it.
  st.spacegroup_hm = "P 1";
  st.info["_entry.id"] = title;
  st.info["_struct_keywords.pdbx_keywords"] = "COMPUTED MODEL";
  std::ostringstream os;
  try {
    if (format == ExportFormat::pdb) {
      gemmi::PdbWriteOptions opt;
      gemmi::write_pdb(st, os, opt);
    } else {
      gemmi::MmcifOutputGroups groups(true);
      groups.entity_poly = true;
      groups.group_pdb = true;
      groups.cell = false;
      groups.symmetry = true;
      gemmi::cif::Document doc;
      doc.blocks.push_back(gemmi::make_mmcif_block(st, groups));
      add_poly_seq_scheme(st, doc.blocks.back());
      gemmi::cif::write_cif_to_stream(os, doc, gemmi::cif::Style::Pdbx);
    }
  } catch (const std::exception& e) {
    throw InputError(std::string("cannot write the model: ") + e.what());
  }
  return os.str();
}

}  // namespace vorb::tools
