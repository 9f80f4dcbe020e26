// A whole structure file (PDB or mmCIF, gzipped or not) held as read, for tools that change a
// few atoms and write everything else back: every chain, hetero group and water of the first
// model. The only gemmi-facing interface of the packer; C++17, as the gemmi units are.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace gemmi {
struct Structure;
}

namespace vorb::tools {

struct FileAtom {
  std::string name;     // without blanks
  std::string element;  // "C", "N", ...
  char altloc = '\0';   // '\0' none
  double x = 0, y = 0, z = 0;
};

struct FileResidue {
  std::string chain, name;
  int num = 0;
  char icode = ' ';
  bool polymer = false;  // part of a polymer chain (not a ligand, not water)
  bool water = false;
  std::vector<FileAtom> atoms;
};

class StructureFile {
 public:
  // InputError naming the file when it cannot be read or holds no model.
  static StructureFile read(const std::string& path);
  // The same from a file's text in memory (not gzipped); the name tells the format.
  static StructureFile from_text(const std::string& text, const std::string& name);
  StructureFile(StructureFile&&) noexcept;
  StructureFile& operator=(StructureFile&&) noexcept;
  ~StructureFile();

  // The residues of the first model, chains in file order.
  std::vector<FileResidue> residues() const;
  // Residue k of residues(): removes its atoms named in `remove` (every alternate location)
  // and inserts `add` after its last backbone atom (N, CA, C, O), before anything else.
  void replace_atoms(std::size_t k, const std::vector<std::string>& remove,
                     const std::vector<FileAtom>& add);
  // The file's text: mmCIF for names ending in .cif or .mmcif (under .gz too), PDB otherwise.
  std::string text(const std::string& out_path) const;

 private:
  struct Impl;
  StructureFile(gemmi::Structure st, const std::string& path);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vorb::tools
