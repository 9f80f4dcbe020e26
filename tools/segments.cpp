#include "segments.hpp"

#include <filesystem>
#include <sstream>

#include "model/errors.hpp"

namespace vorb::tools {
namespace fs = std::filesystem;

std::vector<Segment> plan_segments(const Prepared& chain, GapPolicy policy) {
  std::vector<std::size_t> cuts;
  if (policy == GapPolicy::split) cuts = chain.breaks;
  cuts.push_back(chain.res.size());
  std::vector<Segment> out;
  std::size_t begin = 0;
  for (std::size_t end : cuts) {
    Segment s;
    s.first = begin;
    s.part.source = chain.source;
    s.part.chain = chain.chain;
    s.part.ca_only = chain.ca_only;
    s.part.notes.model = chain.notes.model;
    s.part.res.assign(chain.res.begin() + long(begin), chain.res.begin() + long(end));
    for (std::size_t k = 0; k < s.part.res.size(); ++k) s.part.res[k].res.num = int(k) + 1;
    s.modelled = s.part.res.size() >= kMinSegment;
    out.push_back(std::move(s));
    begin = end;
  }
  return out;
}

std::vector<std::string> segment_messages(const Prepared& chain, const std::vector<Segment>& parts) {
  std::vector<std::string> out;
  if (parts.size() == 1 && !parts[0].modelled)
    out.push_back("  chain " + chain_label(chain.chain) + ": fewer than " +
                  std::to_string(kMinSegment) + " residues, too short to model: kept as in the input");
  if (parts.size() < 2) return out;
  int modelled = 0;
  for (const Segment& s : parts) modelled += s.modelled;
  out.push_back("  chain " + chain_label(chain.chain) + ": " + std::to_string(chain.breaks.size()) +
                " break(s); " + std::to_string(modelled) +
                " segment(s) modelled one by one, no bond across a break");
  for (const Segment& s : parts)
    out.push_back("    " + original_label(s.part.res.front()) + " to " +
                  original_label(s.part.res.back()) + ": " +
                  (s.modelled ? "modelled"
                              : "kept as in the input (fewer than " + std::to_string(kMinSegment) +
                                    " residues, too short to model)"));
  return out;
}

std::vector<OutResidue> input_residues(const Prepared& part) {
  std::vector<OutResidue> out;
  for (const PrepResidue& r : part.res) {
    OutResidue o;
    o.name = r.res.name;
    o.chain = r.chain;
    o.number = r.num;
    o.icode = r.icode;
    for (std::size_t a = 0; a < r.res.atoms.size(); ++a) {
      OutAtom at;
      at.name = standard_atom_name(r.res.name, r.res.atoms[a].first);
      at.element = std::string(1, r.res.atoms[a].first[1]);
      at.b = r.b[a];
      at.x = r.pos[a][0];
      at.y = r.pos[a][1];
      at.z = r.pos[a][2];
      o.atoms.push_back(at);
    }
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<OutResidue> hetero_residues(const Prepared& chain) {
  std::vector<OutResidue> out;
  for (const HetGroup& g : chain.hetero) {
    OutResidue o;
    o.name = g.name;
    o.chain = g.chain;
    o.number = g.num;
    o.icode = g.icode;
    o.hetero = true;
    o.water = g.water;
    for (const HetAtom& a : g.atoms) {
      OutAtom at;
      at.name = a.name;
      at.element = a.element;
      at.altloc = a.altloc;
      at.occ = a.occ;
      at.b = a.b;
      at.charge = a.charge;
      at.x = a.pos[0];
      at.y = a.pos[1];
      at.z = a.pos[2];
      o.atoms.push_back(at);
    }
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<OutResidue> run_model(const std::string& dir, std::array<double, 3>& offset) {
  const fs::path d(dir);
  std::vector<ModelAtom> atoms = read_model((d / "input.pdb.h").string());
  int matched = 0;
  offset = frame_offset(atoms, read_model((d / "input.pdb").string()), matched);
  shift_atoms(atoms, offset);
  return model_residues(atoms, read_residue_map((d / "residues.tsv").string()));
}

std::vector<OutResidue> run_model(const FileSet& run, std::array<double, 3>& offset) {
  auto text = [&](const char* name) -> std::istringstream {
    auto it = run.files.find(name);
    if (it == run.files.end()) throw InputError(std::string(name) + ": not written by the run");
    return std::istringstream(it->second);
  };
  std::istringstream model = text("input.pdb.h"), input = text("input.pdb"), map = text("residues.tsv");
  std::vector<ModelAtom> atoms = read_model_stream(model, "input.pdb.h");
  int matched = 0;
  offset = frame_offset(atoms, read_model_stream(input, "input.pdb"), matched);
  shift_atoms(atoms, offset);
  return model_residues(atoms, read_residue_map_stream(map, "residues.tsv"));
}

std::vector<std::string> chain_list(const std::vector<std::string>& values) {
  std::vector<std::string> out;
  for (const std::string& v : values) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = v.find(',', start);
      const std::string name = v.substr(start, comma == std::string::npos ? comma : comma - start);
      if (name.empty())
        throw InputError("--chain " + v + ": an empty chain name (a blank chain is ' ')");
      out.push_back(name);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return out;
}

}  // namespace vorb::tools
