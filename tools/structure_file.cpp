// gemmi's model of a whole structure file for the packer (reading, editing residues, writing).
#include "structure_file.hpp"

#include <algorithm>
#include <cctype>
#include <exception>
#include <sstream>

#include <gemmi/gz.hpp>         // for MaybeGzipped
#include <gemmi/mmread.hpp>     // for read_structure
#include <gemmi/polyheur.hpp>   // for setup_entities
#include <gemmi/to_cif.hpp>     // for write_cif_to_stream
#include <gemmi/to_mmcif.hpp>   // for make_mmcif_document
#include <gemmi/to_pdb.hpp>     // for write_pdb

#include "model/errors.hpp"

namespace vorb::tools {

struct StructureFile::Impl {
  gemmi::Structure st;
  std::vector<gemmi::Residue*> res;  // residues of the first model, in order
};

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ends_with(const std::string& s, const std::string& e) {
  return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

bool mmcif_name(const std::string& path) {
  std::string p = lower(path);
  if (ends_with(p, ".gz")) p.resize(p.size() - 3);
  return ends_with(p, ".cif") || ends_with(p, ".mmcif");
}

gemmi::CoorFormat format_of(const std::string& path) {
  std::string p = lower(path);
  if (ends_with(p, ".gz")) p.resize(p.size() - 3);
  if (ends_with(p, ".cif") || ends_with(p, ".mmcif")) return gemmi::CoorFormat::Mmcif;
  if (ends_with(p, ".pdb") || ends_with(p, ".ent")) return gemmi::CoorFormat::Pdb;
  return gemmi::CoorFormat::Detect;
}

bool backbone_name(const std::string& n) { return n == "N" || n == "CA" || n == "C" || n == "O"; }

}  // namespace

StructureFile::StructureFile(StructureFile&&) noexcept = default;
StructureFile& StructureFile::operator=(StructureFile&&) noexcept = default;
StructureFile::~StructureFile() = default;

namespace {

template <class Read>
gemmi::Structure reading(const std::string& path, Read read) {
  try {
    return read();
  } catch (const std::exception& e) {
    std::string what = e.what();
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
    for (char& ch : what)
      if (ch == '\n') ch = ' ';
    throw InputError(path, 0, "cannot read the structure: " + what);
  }
}

}  // namespace

StructureFile StructureFile::read(const std::string& path) {
  return StructureFile(reading(path, [&] {
    return gemmi::read_structure(gemmi::MaybeGzipped(path), format_of(path));
  }), path);
}

StructureFile StructureFile::from_text(const std::string& text, const std::string& name) {
  std::string buffer = text;  // the reader wants a buffer it may write into
  return StructureFile(reading(name, [&] {
    return gemmi::read_structure_from_char_array(buffer.data(), buffer.size(), name);
  }), name);
}

StructureFile::StructureFile(gemmi::Structure st, const std::string& path)
    : impl_(std::make_unique<Impl>()) {
  impl_->st = std::move(st);
  if (impl_->st.models.empty()) throw InputError(path, 0, "no model in the file");
  // Only the first model is kept, so that the written file holds what was packed.
  impl_->st.models.erase(impl_->st.models.begin() + 1, impl_->st.models.end());
  if (impl_->st.input_format == gemmi::CoorFormat::Pdb) gemmi::setup_entities(impl_->st);
  for (gemmi::Chain& c : impl_->st.models.front().chains)
    for (gemmi::Residue& r : c.residues) impl_->res.push_back(&r);
}

std::vector<FileResidue> StructureFile::residues() const {
  std::vector<FileResidue> out;
  for (const gemmi::Chain& c : impl_->st.models.front().chains)
    for (const gemmi::Residue& r : c.residues) {
      FileResidue f;
      f.chain = c.name;
      f.name = r.name;
      f.num = r.seqid.num.has_value() ? int(r.seqid.num.value) : 0;
      f.icode = r.seqid.icode;
      f.water = r.is_water();
      f.polymer = !f.water && (r.entity_type == gemmi::EntityType::Polymer ||
                               (r.entity_type == gemmi::EntityType::Unknown && r.het_flag == 'A'));
      for (const gemmi::Atom& a : r.atoms)
        f.atoms.push_back({a.name, a.element.uname(), a.altloc, a.pos.x, a.pos.y, a.pos.z});
      out.push_back(std::move(f));
    }
  return out;
}

void StructureFile::replace_atoms(std::size_t k, const std::vector<std::string>& remove,
                                  const std::vector<FileAtom>& add) {
  gemmi::Residue& r = *impl_->res.at(k);
  float b = 0.0f;
  for (const gemmi::Atom& a : r.atoms)
    if (a.name == "CA") b = a.b_iso;
  r.atoms.erase(std::remove_if(r.atoms.begin(), r.atoms.end(),
                               [&](const gemmi::Atom& a) {
                                 return std::find(remove.begin(), remove.end(), a.name) !=
                                        remove.end();
                               }),
                r.atoms.end());
  std::size_t at = 0;
  for (std::size_t i = 0; i < r.atoms.size(); ++i)
    if (backbone_name(r.atoms[i].name)) at = i + 1;
  std::vector<gemmi::Atom> atoms;
  for (const FileAtom& f : add) {
    gemmi::Atom a;
    a.name = f.name;
    a.element = gemmi::Element(f.element);
    a.pos = gemmi::Position(f.x, f.y, f.z);
    a.occ = 1.0f;
    a.b_iso = b;
    atoms.push_back(a);
  }
  r.atoms.insert(r.atoms.begin() + long(at), atoms.begin(), atoms.end());
}

std::string StructureFile::text(const std::string& out_path) const {
  std::ostringstream os;
  try {
    if (mmcif_name(out_path)) {
      gemmi::cif::Document doc = gemmi::make_mmcif_document(impl_->st);
      gemmi::cif::write_cif_to_stream(os, doc, gemmi::cif::Style::Pdbx);
    } else {
      gemmi::PdbWriteOptions opt;
      gemmi::write_pdb(impl_->st, os, opt);
    }
  } catch (const std::exception& e) {
    throw InputError(std::string("cannot write the structure: ") + e.what());
  }
  return os.str();
}

}  // namespace vorb::tools
