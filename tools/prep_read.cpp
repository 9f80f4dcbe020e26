// Reading archive files for prep: the only unit that sees gemmi's model of a structure.
#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

#include <zlib.h>

#include <gemmi/gz.hpp>      // for MaybeGzipped
#include <gemmi/mmread.hpp>  // for read_structure
#include <gemmi/resinfo.hpp> // for find_tabulated_residue

#include "hdd_residues.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"
#include "prep.hpp"

namespace vorb::tools {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Format from the extension (under a .gz), else from the content.
gemmi::CoorFormat format_of(const std::string& path) {
  std::string p = lower(path);
  if (p.size() > 3 && p.compare(p.size() - 3, 3, ".gz") == 0) p.resize(p.size() - 3);
  auto ends = [&](const char* e) {
    std::string s(e);
    return p.size() >= s.size() && p.compare(p.size() - s.size(), s.size(), s) == 0;
  };
  if (ends(".cif") || ends(".mmcif")) return gemmi::CoorFormat::Mmcif;
  if (ends(".pdb") || ends(".ent")) return gemmi::CoorFormat::Pdb;
  return gemmi::CoorFormat::Detect;
}

// Text gunzipped when it starts with the gzip signature.
std::string gunzipped(std::string raw, const std::string& path) {
  if (raw.size() < 2 || static_cast<unsigned char>(raw[0]) != 0x1f ||
      static_cast<unsigned char>(raw[1]) != 0x8b)
    return raw;
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) throw InputError(path, 0, "cannot gunzip");
  std::string out;
  char buf[1 << 16];
  z.next_in = reinterpret_cast<Bytef*>(raw.data());
  z.avail_in = uInt(raw.size());
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
    if (rc == Z_STREAM_END) {
      if (z.avail_in == 0) break;
      inflateReset(&z);  // another member follows
    } else if (rc != Z_OK) {  // Z_BUF_ERROR: the data ends inside a member
      inflateEnd(&z);
      throw InputError(path, 0, "cannot gunzip: the compressed data is damaged or cut short");
    }
  }
  inflateEnd(&z);
  return out;
}

// gemmi's exceptions as one-line InputErrors naming the file.
template <class F>
gemmi::Structure reading(const std::string& path, F&& read) {
  try {
    return read();
  } catch (const InputError&) {
    throw;
  } catch (const std::exception& e) {
    std::string what = e.what();
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
    for (char& ch : what)
      if (ch == '\n') ch = ' ';  // one line
    throw InputError(path, 0, "cannot read the structure: " + what);
  }
}

// A whole file in memory, gzipped or not; the format is told from the content.
gemmi::Structure structure_from_text(std::string text, const std::string& path) {
  text = gunzipped(std::move(text), path);
  return reading(path, [&] { return gemmi::read_structure_from_char_array(text.data(), text.size(), path); });
}

gemmi::Structure read_file(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = path == "-" ? fs::file_status() : fs::status(path, ec);
  if (fs::is_directory(st)) throw InputError(path, 0, "is a directory, not a file");
  // Standard input ("-") and pipes cannot be sought in: they are read into memory.
  if (path == "-" || (fs::exists(st) && !fs::is_regular_file(st))) {
    std::ifstream file;
    if (path != "-") {
      file.open(path, std::ios::binary);
      if (!file) throw InputError(path, 0, "cannot open");
    }
    std::istream& in = path == "-" ? std::cin : file;
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw InputError(path, 0, "cannot read");
    return structure_from_text(std::move(raw), path);
  }
  return reading(path, [&] { return gemmi::read_structure(gemmi::MaybeGzipped(path), format_of(path)); });
}

bool amino_acid(const gemmi::Residue& r) {
  return residue_type(r.name) != 0 || gemmi::find_tabulated_residue(r.name).is_amino_acid();
}

// Consecutive residues: C-N at most 2.0 A, or CA-CA at most 4.2 A where C or N is absent.
bool linked(const gemmi::Residue& a, const gemmi::Residue& b) {
  const gemmi::Atom *c = a.get_c(), *n = b.get_n();
  if (c && n) return c->pos.dist(n->pos) <= 2.0;
  const gemmi::Atom *ca1 = a.get_ca(), *ca2 = b.get_ca();
  return ca1 && ca2 && ca1->pos.dist(ca2->pos) <= 4.2;
}

// Which residues of a chain belong to its polymer. An mmCIF file says so through its entities.
// Otherwise (PDB files, whose entity types gemmi guesses from TER records that writers place
// loosely) the residues given as ATOM records do, and so do amino acids given as HETATM records
// (MSE, modified residues) that are linked to a polymer neighbour; an amino acid that is a
// ligand (a free D-arginine of an inhibitor) is not.
std::vector<bool> polymer_flags(const gemmi::Chain& c, gemmi::CoorFormat format) {
  const std::vector<gemmi::Residue>& rs = c.residues;
  std::vector<bool> in(rs.size(), false);
  bool entities = format != gemmi::CoorFormat::Pdb;
  for (const gemmi::Residue& r : rs) entities = entities && r.entity_type != gemmi::EntityType::Unknown;
  for (std::size_t k = 0; k < rs.size(); ++k)
    in[k] = !rs[k].is_water() && (entities ? rs[k].entity_type == gemmi::EntityType::Polymer
                                           : rs[k].het_flag == 'A');
  if (entities) return in;
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t k = 0; k < rs.size(); ++k) {
      if (in[k] || rs[k].is_water() || !amino_acid(rs[k])) continue;
      if ((k > 0 && in[k - 1] && linked(rs[k - 1], rs[k])) ||
          (k + 1 < rs.size() && in[k + 1] && linked(rs[k], rs[k + 1]))) {
        in[k] = true;
        grew = true;
      }
    }
  }
  return in;
}

bool is_protein(const gemmi::Chain& c, gemmi::CoorFormat format) {
  std::vector<bool> in = polymer_flags(c, format);
  for (std::size_t k = 0; k < c.residues.size(); ++k)
    if (in[k] && amino_acid(c.residues[k])) return true;
  return false;
}

std::string label(const std::string& name, const std::string& chain, const gemmi::SeqId& id) {
  std::string s = name + " " + chain + " " + id.num.str();
  if (id.icode != ' ' && id.icode != '\0') s += id.icode;
  return s;
}

std::string list_names(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "none" : s;
}

const gemmi::Model& pick_model(const gemmi::Structure& st, const std::string& path,
                               const PrepOptions& opt) {
  if (st.models.empty()) throw InputError(path, 0, "no model with atoms");
  if (opt.model.empty()) return st.models.front();
  std::vector<std::string> names;
  for (const gemmi::Model& m : st.models) {
    if (m.name == opt.model) return m;
    names.push_back(m.name);
  }
  throw InputError(path, 0, "no model " + opt.model + " (models: " + list_names(names) + ")");
}

bool chain_named(const gemmi::Chain& c, const std::string& name) {
  return c.name == name || (name == " " && c.name.empty());
}

std::vector<std::string> chain_names(const gemmi::Model& m) {
  std::vector<std::string> names;
  for (const gemmi::Chain& c : m.chains)
    if (std::find(names.begin(), names.end(), c.name) == names.end()) names.push_back(c.name);
  return names;
}

std::string list_chains(const gemmi::Model& m) {
  std::vector<std::string> names;
  for (const std::string& n : chain_names(m)) names.push_back(chain_label(n));
  return list_names(names);
}

// The first protein part of the chain named `chain` (the first protein chain when empty).
std::size_t pick_chain(const gemmi::Model& m, gemmi::CoorFormat format, const std::string& path,
                       const std::string& chain) {
  bool named = false;
  for (std::size_t k = 0; k < m.chains.size(); ++k) {
    const gemmi::Chain& c = m.chains[k];
    if (!chain.empty() && !chain_named(c, chain)) continue;
    named = true;
    if (is_protein(c, format)) return k;
  }
  if (chain.empty())
    throw InputError(path, 0, "no protein chain in model " + m.name + " (chains: " +
                                  list_chains(m) + ")");
  if (!named)
    throw InputError(path, 0, "no chain \"" + chain + "\" in model " + m.name +
                                  " (chains: " + list_chains(m) + ")");
  throw InputError(path, 0, "chain " + chain + " holds no protein");
}

// The standard parent of a modified amino acid in gemmi's table (type 1..20), 0 when it has none
// or is a D-amino acid (which the program would build with the parent's L geometry).
int parent_type(const std::string& name) {
  const gemmi::ResidueInfo info = gemmi::find_tabulated_residue(name);
  if (!info.is_amino_acid() || info.kind == gemmi::ResidueInfo::AAD) return 0;
  return residue_type_1(char(std::toupper(static_cast<unsigned char>(info.one_letter_code))));
}

HetGroup het_group(const gemmi::Residue& r, const std::string& chain) {
  HetGroup g;
  g.name = r.name;
  g.chain = chain;
  g.num = r.seqid.num.has_value() ? r.seqid.num.value : 0;
  g.icode = r.seqid.icode == '\0' ? ' ' : r.seqid.icode;
  g.water = r.is_water();
  for (const gemmi::Atom& a : r.atoms) {
    HetAtom h;
    h.name = a.name;
    h.element = a.element.name();
    h.altloc = a.altloc == '\0' ? ' ' : a.altloc;
    h.occ = a.occ;
    h.b = a.b_iso;
    h.charge = a.charge;
    h.pos = {a.pos.x, a.pos.y, a.pos.z};
    g.atoms.push_back(h);
  }
  return g;
}

// The chain whose first protein part is model.chains[ck], with every other part of the model
// of the same name (mmCIF files list a chain's waters and ligands apart from its polymer).
Prepared prepare_chain(const gemmi::Structure& st, const gemmi::Model& model, std::size_t ck,
                       const std::string& path, const PrepOptions& opt, bool allow_short) {
  const gemmi::CoorFormat format = st.input_format;
  const std::string chain_name = model.chains[ck].name;
  Prepared p;
  p.source = path;
  p.chain = chain_name;
  p.ca_only = opt.ca_only;
  p.hetero_kept = opt.hetero;
  PrepNotes& n = p.notes;
  n.model = model.name;
  n.other_models = int(st.models.size()) - 1;
  for (const std::string& c : chain_names(model))
    if (c != chain_name) n.other_chains.push_back(c);

  std::vector<std::string> rejected;
  for (std::size_t k = 0; k < model.chains.size(); ++k) {
    const gemmi::Chain& c = model.chains[k];
    if (c.name != chain_name) continue;
    const std::vector<bool> in = polymer_flags(c, format);
    for (std::size_t j = 0; j < c.residues.size(); ++j) {
      const gemmi::Residue& r = c.residues[j];
      if (r.is_water() || k != ck || !in[j]) {
        if (r.is_water())
          ++n.waters;
        else
          ++n.hetero[r.name];
        if (opt.hetero) p.hetero.push_back(het_group(r, c.name));
        continue;
      }
      const bool mse = r.name == "MSE";
      int type = residue_type(r.name);
      const bool modified = type == 0 && !mse;
      if (type == 0) type = parent_type(r.name);
      if (type == 0) {
        rejected.push_back(label(r.name, chain_label(c.name), r.seqid));
        continue;
      }
      const std::string name(afn[std::size_t(type)]);
      const ResidueTemplate& t = residue_template(type);
      PrepResidue pr;
      pr.res.name = name;
      pr.res.type = type;
      pr.chain = c.name;
      pr.num = r.seqid.num.has_value() ? r.seqid.num.value : 0;
      pr.icode = r.seqid.icode == '\0' ? ' ' : r.seqid.icode;
      pr.input_name = r.name;
      for (const gemmi::Atom& a : r.atoms) {
        if (a.altloc != '\0' && a.altloc != 'A') {
          ++n.altloc;
          continue;
        }
        if (a.is_hydrogen()) {
          ++n.hydrogens;
          continue;
        }
        std::string an = a.name;
        if (mse && an == "SE") an = "SD";
        if (opt.ca_only && an != "CA") continue;
        if (t.index(an) < 0 && an != "OXT") {
          n.unknown_atoms.add(label(r.name, chain_label(c.name), r.seqid) + ": " + a.name);
          continue;
        }
        std::string name4 = heavy_name4(an);
        if (pr.res.has(name4)) {
          ++n.duplicates;
          continue;
        }
        pr.res.atoms.emplace_back(name4, Vec3{float(a.pos.x), float(a.pos.y), float(a.pos.z)});
        pr.pos.push_back({a.pos.x, a.pos.y, a.pos.z});
        pr.b.push_back(a.b_iso);
      }
      if (pr.res.atoms.empty()) {
        n.empty_residues.add(label(r.name, chain_label(c.name), r.seqid));
        continue;
      }
      n.mse += mse;
      if (modified) n.modified.push_back(label(r.name, chain_label(c.name), r.seqid) + " as " + name);
      p.res.push_back(std::move(pr));
    }
  }
  if (!rejected.empty())
    throw InputError(path, 0, "residue(s) " + list_names(rejected) +
                                  ": neither one of the 20 standard amino acids nor a modified "
                                  "L-amino acid with a standard parent");
  if (p.res.empty() && allow_short)
    throw InputError(path, 0, "chain " + chain_label(chain_name) + " has no residue with atoms");
  finish_prepared(p, allow_short);
  return p;
}

gemmi::Structure read_clean(const std::string& path, const std::string& text = {}) {
  gemmi::Structure st = text.empty() ? read_file(path) : structure_from_text(text, path);
  gemmi::remove_empty_children(st);
  return st;
}

std::vector<Chain> protein_chains(gemmi::Structure& st, const std::string& path,
                                  const std::string& model_name) {
  gemmi::remove_empty_children(st);
  PrepOptions opt;
  opt.model = model_name;
  const gemmi::Model& model = pick_model(st, path, opt);
  std::vector<Chain> chains;
  for (const gemmi::Chain& c : model.chains) {
    if (!is_protein(c, st.input_format)) continue;
    // mmCIF files may list a chain's parts apart: each protein part joins its chain's entry.
    auto same = [&](const Chain& k) { return k.name == c.name; };
    auto it = std::find_if(chains.begin(), chains.end(), same);
    if (it == chains.end()) {
      chains.emplace_back();
      it = chains.end() - 1;
      it->source = path;
      it->name = c.name;
    }
    const std::vector<bool> in = polymer_flags(c, st.input_format);
    for (std::size_t j = 0; j < c.residues.size(); ++j) {
      if (!in[j]) continue;
      const gemmi::Residue& r = c.residues[j];
      const bool mse = r.name == "MSE";
      Residue res;
      res.name = mse ? "MET" : r.name;
      res.type = residue_type(res.name);
      res.num = r.seqid.num.has_value() ? r.seqid.num.value : 0;
      res.icode = r.seqid.icode == '\0' ? ' ' : r.seqid.icode;
      for (const gemmi::Atom& a : r.atoms) {
        if (a.altloc != '\0' && a.altloc != 'A') continue;
        std::string an = a.name;
        // Hydrogens, also when the element columns are blank (models written by the program).
        const bool h_name = !an.empty() && (an[0] == 'H' || (an.size() > 1 && std::isdigit(
                                                                 static_cast<unsigned char>(an[0])) &&
                                                             an[1] == 'H'));
        if (a.is_hydrogen() || h_name || an.empty() || an.size() > 3) continue;
        if (mse && an == "SE") an = "SD";
        const std::string name4 = heavy_name4(an);
        if (!res.has(name4)) res.atoms.emplace_back(name4, Vec3{float(a.pos.x), float(a.pos.y), float(a.pos.z)});
      }
      if (!res.atoms.empty()) it->res.push_back(std::move(res));
    }
  }
  return chains;
}

}  // namespace

Prepared prepare_structure(const std::string& path, const PrepOptions& opt) {
  const gemmi::Structure st = read_clean(path, opt.text);
  const gemmi::Model& model = pick_model(st, path, opt);
  const std::size_t ck = pick_chain(model, st.input_format, path, opt.chain);
  return prepare_chain(st, model, ck, path, opt, false);
}

std::vector<Prepared> prepare_chains(const std::string& path, const PrepOptions& opt,
                                     const std::vector<std::string>& chains) {
  const gemmi::Structure st = read_clean(path, opt.text);
  const gemmi::Model& model = pick_model(st, path, opt);
  std::vector<std::size_t> picked;
  if (chains.empty()) {
    pick_chain(model, st.input_format, path, "");  // at least one
    std::vector<std::string> seen;
    for (std::size_t k = 0; k < model.chains.size(); ++k) {
      const gemmi::Chain& c = model.chains[k];
      if (std::find(seen.begin(), seen.end(), c.name) != seen.end() ||
          !is_protein(c, st.input_format))
        continue;
      seen.push_back(c.name);
      picked.push_back(k);
    }
  } else {
    for (const std::string& name : chains) {
      std::size_t k = pick_chain(model, st.input_format, path, name);
      if (std::find(picked.begin(), picked.end(), k) == picked.end()) picked.push_back(k);
    }
    std::sort(picked.begin(), picked.end());  // in the file's order
  }
  std::vector<Prepared> out;
  for (std::size_t k : picked) out.push_back(prepare_chain(st, model, k, path, opt, chains.empty()));
  // Chains taken are not "not taken".
  for (Prepared& p : out)
    for (const Prepared& q : out)
      p.notes.other_chains.erase(
          std::remove(p.notes.other_chains.begin(), p.notes.other_chains.end(), q.chain),
          p.notes.other_chains.end());
  return out;
}

std::vector<Chain> read_protein_chains(const std::string& path, const std::string& model) {
  gemmi::Structure st = read_file(path);
  return protein_chains(st, path, model);
}

std::vector<Chain> protein_chains_from_text(std::string text, const std::string& name) {
  gemmi::Structure st = structure_from_text(std::move(text), name);
  return protein_chains(st, name, "");
}

}  // namespace vorb::tools
