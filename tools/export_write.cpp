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

#include <algorithm>
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
    for (const gemmi::Residue& r : c.residues) {
      if (r.entity_type != gemmi::EntityType::Polymer) continue;
      const gemmi::Entity* ent = nullptr;
      for (const gemmi::Entity& e : st.entities)
        if (!e.subchains.empty() && e.subchains.front() == r.subchain) ent = &e;
      const std::string seq = r.label_seq.str();
      const std::string num = r.seqid.num.str();
      loop.add_row({r.subchain, ent ? ent->name : "?", seq, r.name, seq, num, num, r.name, r.name,
                    c.name.empty() ? "." : c.name,
                    r.seqid.icode == ' ' ? "." : std::string(1, r.seqid.icode), "n"});
    }
  }
}

}  // namespace

std::string structure_text(const std::vector<OutResidue>& residues, ExportFormat format,
                           const std::string& title) {
  gemmi::Structure st;
  st.name = title;
  st.models.emplace_back("1");
  gemmi::Model& model = st.models.back();
  // Chains in order of first appearance; polymer residues before hetero groups within each.
  std::vector<std::vector<const OutResidue*>> parts;
  for (const OutResidue& r : residues) {
    std::size_t k = 0;
    while (k < model.chains.size() && model.chains[k].name != r.chain) ++k;
    if (k == model.chains.size()) {
      model.chains.emplace_back(r.chain);
      parts.emplace_back();
    }
    parts[k].push_back(&r);
  }
  int serial = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    std::stable_partition(parts[k].begin(), parts[k].end(),
                          [](const OutResidue* r) { return !r->hetero; });
    gemmi::Chain& c = model.chains[k];
    for (const OutResidue* o : parts[k]) {
      gemmi::Residue r;
      r.name = o->name;
      r.seqid = gemmi::SeqId(o->number, o->icode);
      r.het_flag = o->hetero ? 'H' : 'A';
      r.entity_type = !o->hetero ? gemmi::EntityType::Polymer
                      : o->water ? gemmi::EntityType::Water
                                 : gemmi::EntityType::NonPolymer;
      if (!o->hetero) r.label_seq = int(c.residues.size()) + 1;
      for (const OutAtom& a : o->atoms) {
        gemmi::Atom at;
        at.name = a.name;
        at.element = gemmi::Element(a.element);
        at.altloc = a.altloc == ' ' ? '\0' : a.altloc;
        at.charge = a.charge;
        at.pos = gemmi::Position(a.x, a.y, a.z);
        at.occ = a.occ;
        at.b_iso = a.b;
        at.serial = ++serial;
        r.atoms.push_back(at);
      }
      c.residues.push_back(r);
    }
  }
  // label_asym_id: the chain name for the polymer (a free letter for a blank chain), a free
  // letter for each hetero group and one for the waters of each chain, as in the archive's files.
  std::vector<std::string> used;
  for (const gemmi::Chain& c : model.chains) used.push_back(c.name);
  auto free_name = [&used]() {
    for (int n = 0;; ++n) {
      std::string s(1, char('A' + n % 26));
      if (n >= 26) s += std::to_string(n / 26);
      if (std::find(used.begin(), used.end(), s) == used.end()) {
        used.push_back(s);
        return s;
      }
    }
  };
  // One polymer entity per chain, its label_asym_id the chain name, as the archive's readers
  // expect of a complete file; one entity per hetero group name, one for water.
  std::vector<gemmi::Entity> het_entities;
  for (gemmi::Chain& c : model.chains) {
    const std::string base = c.name.empty() ? free_name() : c.name;
    gemmi::Entity ent(std::to_string(st.entities.size() + 1));
    ent.entity_type = gemmi::EntityType::Polymer;
    ent.polymer_type = gemmi::PolymerType::PeptideL;
    ent.subchains.push_back(base);
    std::string waters;
    for (gemmi::Residue& r : c.residues) {
      if (r.entity_type == gemmi::EntityType::Polymer) {
        r.subchain = base;
        ent.full_sequence.push_back(r.name);
        continue;
      }
      const bool water = r.entity_type == gemmi::EntityType::Water;
      if (water && waters.empty()) waters = free_name();
      r.subchain = water ? waters : free_name();
      const std::string key = water ? "HOH" : r.name;
      std::size_t e = 0;
      while (e < het_entities.size() && het_entities[e].name != key) ++e;
      if (e == het_entities.size()) {
        het_entities.emplace_back(key);
        het_entities.back().entity_type = r.entity_type;
      }
      std::vector<std::string>& subs = het_entities[e].subchains;
      if (std::find(subs.begin(), subs.end(), r.subchain) == subs.end()) subs.push_back(r.subchain);
    }
    if (!ent.full_sequence.empty()) st.entities.push_back(ent);
  }
  for (gemmi::Entity& e : het_entities) {
    e.name = std::to_string(st.entities.size() + 1);
    st.entities.push_back(e);
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
