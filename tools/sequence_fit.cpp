#include "sequence_fit.hpp"

#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/input_file.hpp"
#include "model/errors.hpp"
#include "model/residues.hpp"

namespace vorb::tools {
namespace {

constexpr const char* kOne = "GASCVTIPMDNLKEQRHFYW";
constexpr const char* kThree[] = {"GLY", "ALA", "SER", "CYS", "VAL", "THR", "ILE",
                                  "PRO", "MET", "ASP", "ASN", "LEU", "LYS", "GLU",
                                  "GLN", "ARG", "HIS", "PHE", "TYR", "TRP"};

std::vector<std::string> from_letters(const std::string& text, const std::string& where) {
  std::vector<std::string> out;
  for (char ch : text) {
    if (std::isspace(static_cast<unsigned char>(ch)) || ch == '*') continue;
    const char up = char(std::toupper(static_cast<unsigned char>(ch)));
    const char* at = nullptr;
    for (const char* k = kOne; *k; ++k)
      if (*k == up) at = k;
    if (!at)
      throw InputError(where + ": \"" + std::string(1, ch) +
                       "\" is not the one-letter code of one of the twenty amino acids");
    out.push_back(kThree[at - kOne]);
  }
  if (out.empty()) throw InputError(where + ": the sequence is empty");
  return out;
}

}  // namespace

std::vector<std::string> sequence_letters(const std::string& text, const std::string& where) {
  return from_letters(text, where);
}

std::vector<std::string> sequence_argument(const std::string& arg) {
  InputFile in;
  if (!open_input(in, arg)) return from_letters(arg, "--sequence");
  return read_sequence_stream(in, arg);
}

std::vector<std::string> read_sequence_stream(std::istream& in, const std::string& where) {
  std::string line, text;
  bool header = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '>') {
      if (header || !text.empty()) break;  // the first record only
      header = true;
      continue;
    }
    text += line;
  }
  return from_letters(text, where);
}

SequenceFit fit_sequence(Prepared& p, const std::vector<std::string>& seq) {
  const std::size_t n = p.res.size(), m = seq.size();
  std::vector<std::size_t> at(n);  // sequence position of each input residue
  SequenceFit fit;

  bool numbers_fit = true;
  for (std::size_t k = 0; k < n && numbers_fit; ++k) {
    const PrepResidue& r = p.res[k];
    numbers_fit = r.icode == ' ' && r.num >= 1 && std::size_t(r.num) <= m &&
                  (k == 0 || r.num > p.res[k - 1].num);
  }
  if (numbers_fit) {
    for (std::size_t k = 0; k < n; ++k) {
      const PrepResidue& r = p.res[k];
      if (seq[std::size_t(r.num - 1)] != r.res.name)
        throw InputError(p.source, 0, "residue " + original_label(r) + " does not fit the sequence, "
                                      "which has " + seq[std::size_t(r.num - 1)] + " at number " +
                                      std::to_string(r.num));
      at[k] = std::size_t(r.num - 1);
    }
    fit.by_number = true;
  } else {
    if (n > m)
      throw InputError(p.source, 0, "the chain has " + std::to_string(n) +
                                        " residues, more than the " + std::to_string(m) +
                                        " of the sequence");
    // Order-keeping alignment with identical names only; cost = gaps opened in the sequence
    // (a skipped stretch before, between or after the residues). open[k][j]: residue k at
    // position j after residue k - 1 at j - 1 (no gap) or earlier (a gap).
    const int inf = std::numeric_limits<int>::max() / 4;
    std::vector<std::vector<int>> cost(n, std::vector<int>(m, inf));
    std::vector<std::vector<int>> from(n, std::vector<int>(m, -1));
    std::size_t deepest = 0;
    for (std::size_t k = 0; k < n; ++k) {
      int best = inf, best_j = -1;  // min over j' < j - 1 of cost[k-1][j']
      for (std::size_t j = 0; j < m; ++j) {
        if (k > 0 && j >= 2 && cost[k - 1][j - 2] < best) {
          best = cost[k - 1][j - 2];
          best_j = int(j - 2);
        }
        if (seq[j] != p.res[k].res.name) continue;
        if (k == 0) {
          cost[k][j] = j == 0 ? 0 : 1;
          continue;
        }
        if (j >= 1 && cost[k - 1][j - 1] < inf) {
          cost[k][j] = cost[k - 1][j - 1];
          from[k][j] = int(j - 1);
        }
        if (best < inf && best + 1 < cost[k][j]) {
          cost[k][j] = best + 1;
          from[k][j] = best_j;
        }
      }
      bool any = false;
      for (std::size_t j = 0; j < m; ++j) any = any || cost[k][j] < inf;
      if (!any) break;
      deepest = k + 1;
    }
    if (deepest < n)
      throw InputError(p.source, 0, "residue " + original_label(p.res[deepest]) +
                                        " does not fit the sequence: no placement keeps the "
                                        "residues before it in order with the same names");
    int end_best = inf;
    std::size_t end_j = 0;
    for (std::size_t j = 0; j < m; ++j) {
      if (cost[n - 1][j] >= inf) continue;
      const int c = cost[n - 1][j] + (j + 1 < m ? 1 : 0);
      if (c < end_best) end_best = c, end_j = j;  // the first of equal placements
    }
    std::size_t j = end_j;
    for (std::size_t k = n; k-- > 0;) {
      at[k] = j;
      if (k > 0) j = std::size_t(from[k][j]);
    }
  }

  // The whole chain: input residues where placed, residues without atoms between them.
  std::vector<PrepResidue> out;
  out.reserve(m);
  std::size_t k = 0;
  for (std::size_t j = 0; j < m; ++j) {
    if (k < n && at[k] == j) {
      out.push_back(std::move(p.res[k]));
      ++k;
    } else {
      PrepResidue r;
      r.res.name = seq[j];
      r.res.type = residue_type(seq[j]);
      r.chain = p.chain;
      r.input_name = seq[j];
      out.push_back(std::move(r));
      ++fit.added;
    }
  }
  // Numbers of the added residues continue the input's: counted back from the first residue
  // placed, forward from the one before.
  int first_placed = -1;
  for (std::size_t j = 0; j < m && first_placed < 0; ++j)
    if (!out[j].res.atoms.empty()) first_placed = int(j);
  for (std::size_t j = 0; j < m; ++j) {
    if (!out[j].res.atoms.empty()) continue;
    if (fit.by_number)
      out[j].num = int(j + 1);
    else if (int(j) < first_placed)
      out[j].num = out[std::size_t(first_placed)].num - (first_placed - int(j));
    else {
      // The next number when the next placed residue leaves room for it, else the number
      // before with the next insertion code, so that no two residues share a label.
      int next = std::numeric_limits<int>::max();
      for (std::size_t t = j + 1; t < m && next == std::numeric_limits<int>::max(); ++t)
        if (!out[t].res.atoms.empty()) next = out[t].num;
      const PrepResidue& prev = out[j - 1];
      if (prev.icode == ' ' && prev.num + 1 < next) {
        out[j].num = prev.num + 1;
      } else {
        out[j].num = prev.num;
        out[j].icode = prev.icode == ' ' ? 'A' : char(prev.icode + 1);
      }
    }
  }
  for (std::size_t j = 0; j < m; ++j) out[j].res.num = int(j + 1);
  p.res = std::move(out);

  std::ostringstream note;
  note << "sequence of " << m << " residues: " << n << " placed by "
       << (fit.by_number ? "residue number" : "alignment") << ", " << fit.added
       << " added without atoms";
  fit.note = note.str();
  return fit;
}

std::string unextended_ends_warning(const Prepared& p) {
  if (p.res.empty() || p.res.front().num <= 1) return "";
  return "warning: the chain starts at " + original_label(p.res.front()) +
         "; without a sequence (--sequence, or SEQRES in the file) its ends are not extended";
}

}  // namespace vorb::tools
