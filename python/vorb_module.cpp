// The Python module `vorb`: completion and refinement of C-alpha traces, whole-file rebuilds and
// scoring, in process. Every call builds its own model state and reads nothing from a working
// directory; the data directory's files (backbone library, tables, rotamer library) are read
// once per directory and shared read-only by all calls. The interpreter lock is released while
// the C++ work runs, so calls from several threads run at once.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <dlfcn.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "alloc.hpp"
#include "datadir.hpp"
#include "export.hpp"
#include "model/errors.hpp"
#include "pack.hpp"
#include "rebuild.hpp"
#include "report.hpp"
#include "score.hpp"
#include "sequence_fit.hpp"

namespace py = pybind11;
using namespace vorb;
using namespace vorb::tools;

namespace {

// Raised for bad input (ValueError) and for a run that stopped without a model (RuntimeError).
struct Stopped : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The data directory: the one given, else the installed one beside the module
// (<prefix>/lib/python3/dist-packages/vorb.so and <prefix>/share/vorb, wherever the tree was
// moved), else where the command line looks.
std::string data_dir(const std::string& given) {
  namespace fs = std::filesystem;
  if (given.empty()) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&data_dir), &info) && info.dli_fname) {
      const fs::path d = (fs::path(info.dli_fname).parent_path() / "../../../share/vorb").lexically_normal();
      std::error_code ec;
      if (fs::is_regular_file(d / "BBdat", ec)) return d.string();
    }
  }
  return find_data_dir(given);
}

// The data directory's files, read at the first call that needs them.
std::shared_ptr<const RebuildData> data_for(const std::string& given) {
  static std::mutex lock;
  static std::map<std::string, std::shared_ptr<const RebuildData>> cache;
  const std::string dir = data_dir(given);
  std::lock_guard<std::mutex> hold(lock);
  auto it = cache.find(dir);
  if (it != cache.end()) return it->second;
  auto d = std::make_shared<const RebuildData>(read_rebuild_data(dir, "23", true));
  cache[dir] = d;
  return d;
}

// VORB's last messages and its error lines, for the exception's text.
std::string last_lines(const ReportSink& sink) {
  std::vector<std::string> lines;
  const std::vector<std::string>& r = sink.reports;
  for (std::size_t k = r.size() > 3 ? r.size() - 3 : 0; k < r.size(); ++k) lines.push_back(r[k]);
  for (const std::string& w : sink.warnings)
    if (w.rfind("vorb-tools rebuild:", 0) != 0) lines.push_back(w);
  std::string s;
  for (std::string l : lines) {
    while (!l.empty() && l.front() == ' ') l.erase(0, 1);
    if (!l.empty()) s += (s.empty() ? "" : " | ") + l;
  }
  return s;
}

// A status other than 0 from a job: VORB's rejection of its input (2) is bad input; a stop of its
// own (1) or anything else is an error of the run.
[[noreturn]] void fail(int status, const ReportSink& sink) {
  const std::string why = last_lines(sink);
  if (status == 2) throw InputError(why.empty() ? "VORB rejected the input" : why);
  throw Stopped("VORB ended without a model (status " + std::to_string(status) + ")" +
                (why.empty() ? "" : "; its last messages: " + why));
}

struct Model {
  std::vector<std::array<double, 3>> xyz;
  std::vector<std::string> atom_names, residue_names, elements, chains;
  std::vector<int> residue_numbers;
  std::vector<std::string> messages, warnings;
  std::string pdb;
  // For the mmCIF text, made when first asked for: the model before packing, and what packs it.
  std::vector<OutResidue> unpacked;
  bool packed = false;
  std::shared_ptr<const RebuildData> data;
  std::optional<std::string> cif;

  std::string to_mmcif() {
    if (!cif) {
      std::string text = structure_text(unpacked, ExportFormat::mmcif, "model");
      if (packed) {
        StructureFile f = StructureFile::from_text(text, "unpacked.cif");
        pack_file(f, PackOptions{}, data->pack);
        text = f.text("unpacked.cif");
      }
      cif = std::move(text);
    }
    return *cif;
  }
};

// The atoms of the model's PDB text (ATOM and HETATM records of the first model).
void fill_atoms(Model& m) {
  const std::string_view text(m.pdb);
  auto field = [](std::string_view l, std::size_t b, std::size_t n) {
    std::string_view f = b < l.size() ? l.substr(b, n) : std::string_view();
    while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
    while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
    return f;
  };
  auto number = [&](std::string_view l, std::size_t b, std::size_t n) {
    const std::string_view f = field(l, b, n);
    double v = 0;
    std::from_chars(f.data(), f.data() + f.size(), v);
    return v;
  };
  const std::size_t atoms = std::size_t(std::count(text.begin(), text.end(), '\n'));
  m.xyz.reserve(atoms);
  for (auto* v : {&m.atom_names, &m.residue_names, &m.chains, &m.elements}) v->reserve(atoms);
  m.residue_numbers.reserve(atoms);
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t e = text.find('\n', p);
    if (e == std::string_view::npos) e = text.size();
    const std::string_view l = text.substr(p, e - p);
    p = e + 1;
    if (l.substr(0, 6) == "ENDMDL") break;
    if (l.substr(0, 6) != "ATOM  " && l.substr(0, 6) != "HETATM") continue;
    m.xyz.push_back({number(l, 30, 8), number(l, 38, 8), number(l, 46, 8)});
    m.atom_names.emplace_back(field(l, 12, 4));
    m.residue_names.emplace_back(field(l, 17, 3));
    m.chains.emplace_back(field(l, 21, 1));
    m.residue_numbers.push_back(int(number(l, 22, 4)));
    m.elements.emplace_back(field(l, 76, 2));
  }
}

// The rows of an (n, 3) float array; NaN rows are absent (nullopt). ValueError for the wrong
// shape or type, or a non-finite value other than a whole NaN row.
std::vector<std::optional<std::array<double, 3>>> rows_of(const py::handle& obj, const char* what,
                                                           bool nan_rows) {
  if (!py::isinstance<py::array>(obj)) throw InputError(std::string(what) + ": expected a numpy array");
  py::array a = py::reinterpret_borrow<py::array>(obj);
  const char kind = a.dtype().kind();
  if (kind != 'f')
    throw InputError(std::string(what) + ": expected a floating-point array, got dtype " +
                     std::string(py::str(a.dtype())));
  if (a.ndim() != 2 || a.shape(1) != 3)
    throw InputError(std::string(what) + ": expected shape (n, 3), got " + std::string(py::str(py::tuple(py::cast(std::vector<py::ssize_t>(a.shape(), a.shape() + a.ndim()))))));
  py::array_t<double, py::array::c_style | py::array::forcecast> d(a);
  auto v = d.unchecked<2>();
  std::vector<std::optional<std::array<double, 3>>> out;
  for (py::ssize_t i = 0; i < v.shape(0); ++i) {
    const double x = v(i, 0), y = v(i, 1), z = v(i, 2);
    const bool all_nan = std::isnan(x) && std::isnan(y) && std::isnan(z);
    if (all_nan && nan_rows) {
      out.emplace_back();
      continue;
    }
    for (double c : {x, y, z})
      if (!std::isfinite(c) || std::fabs(c) >= 9999.9995)
        throw InputError(std::string(what) + ": row " + std::to_string(i) + " holds " +
                         (all_nan ? "NaN (rows of NaN mark missing C-alpha atoms in mode 31 only)"
                                  : std::isfinite(c) ? "a coordinate beyond the PDB format's 9999.999"
                                                     : "a non-finite coordinate"));
    out.push_back(std::array<double, 3>{x, y, z});
  }
  return out;
}

// C-alpha records numbered 1..n (absent rows skipped), names from the sequence.
std::string trace_text(const std::vector<std::optional<std::array<double, 3>>>& rows,
                       const std::vector<std::string>& names) {
  std::string text;
  int serial = 0;
  char line[96];
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    const auto& p = *rows[i];
    std::snprintf(line, sizeof line, "ATOM  %5d  CA  %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n",
                  ++serial, names[i].c_str(), int(i + 1), p[0], p[1], p[2]);
    text += line;
  }
  text += "TER\nEND\n";
  return text;
}

// rebuild's options for a trace given as C-alpha records in memory, placed on its sequence.
RebuildOptions trace_options(const std::string& text, const std::string& sequence, const std::string& mode) {
  RebuildOptions opt;
  opt.input = "ca";
  opt.mode = mode;
  opt.prep.ca_only = true;
  opt.prep.text = text;
  opt.sequence = sequence;
  opt.sequence_is_letters = true;
  return opt;
}

bool side_chains_packed(const std::string& v) {
  if (v == "packed") return true;
  if (v == "rules") return false;
  throw InputError("side_chains=\"" + v + "\": expected \"packed\" or \"rules\"");
}

// Runs a job with the interpreter lock released and C++ errors turned into Python's.
template <class F>
auto unlocked(F f) {
  try {
    py::gil_scoped_release release;
    return f();
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  } catch (const Stopped& e) {
    throw std::runtime_error(e.what());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("internal error: ") + e.what());
  }
}

std::shared_ptr<Model> complete_trace(const py::object& ca, const std::string& sequence,
                                      const std::string& mode, const std::string& side_chains,
                                      const py::object& templ, std::optional<int> seed,
                                      const std::string& data_dir) {
  std::vector<std::optional<std::array<double, 3>>> rows, trows;
  std::vector<std::string> names;
  RebuildOptions opt;
  try {
    if (mode != "23" && mode != "2" && mode != "3" && mode != "31" && mode != "4")
      throw InputError("mode=\"" + mode + "\": expected one of \"23\", \"2\", \"3\", \"31\", \"4\"");
    names = sequence_letters(sequence, "sequence");
    rows = rows_of(ca, "ca", mode == "31");
    if (rows.size() != names.size())
      throw InputError("ca has " + std::to_string(rows.size()) + " rows and the sequence " +
                       std::to_string(names.size()) + " residues");
    std::size_t given = 0;
    for (const auto& r : rows) given += r.has_value();
    if (given < 3)
      throw InputError("ca has " + std::to_string(given) + " C-alpha position(s) that are not NaN; "
                       "at least 3 are needed");
    opt.pack = side_chains_packed(side_chains);
    if (seed && *seed < 1) throw InputError("seed: expected a whole number of at least 1");
    if (!templ.is_none()) {
      if (py::isinstance<py::str>(templ)) {
        opt.templ = templ.cast<std::string>();
      } else {
        trows = rows_of(templ, "template", true);
        if (trows.size() != names.size())
          throw InputError("template has " + std::to_string(trows.size()) + " rows and the sequence " +
                           std::to_string(names.size()) + " residues");
        opt.templ = "template";
        opt.template_text = trace_text(trows, names);
      }
    }
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  }
  {
    RebuildOptions base = trace_options(trace_text(rows, names), sequence, mode);
    base.pack = opt.pack;
    base.templ = std::move(opt.templ);
    base.template_text = std::move(opt.template_text);
    opt = std::move(base);
  }
  opt.seed = seed;
  return unlocked([&] {
    auto m = std::make_shared<Model>();
    m->data = data_for(data_dir);
    ReportSink sink;
    RebuildResult r;
    {
      UseReportSink use(sink);
      r = rebuild_text(opt, m->data.get());
    }
    if (r.status != 0) fail(r.status, sink);
    m->pdb = std::move(r.text);
    m->unpacked = std::move(r.unpacked);
    m->packed = opt.pack;
    m->messages = std::move(sink.reports);
    m->warnings = std::move(sink.warnings);
    fill_atoms(*m);
    return m;
  });
}

// The C++ work of complete_trace alone, on a trace's PDB text (for the benchmark of the
// module's own cost): the length of the model's text.
std::size_t complete_text(const std::string& text, const std::string& sequence, const std::string& mode,
                          const std::string& side_chains) {
  RebuildOptions opt = trace_options(text, sequence, mode);
  return unlocked([&] {
    opt.pack = side_chains_packed(side_chains);
    std::shared_ptr<const RebuildData> data = data_for("");
    ReportSink sink;
    UseReportSink use(sink);
    RebuildResult r = rebuild_text(opt, data.get());
    if (r.status != 0) fail(r.status, sink);
    return r.text.size();
  });
}

py::list rebuild_file(const std::string& input, const std::string& output, const std::string& mode,
                      const py::object& chain, bool ca_only, const std::string& templ,
                      const std::string& side_chains, const std::string& sequence,
                      std::optional<int> seed, bool hetero, const std::string& data_dir) {
  RebuildOptions opt;
  opt.input = input;
  opt.output = output;
  opt.mode = mode;
  opt.prep.ca_only = ca_only;
  opt.prep.hetero = hetero;
  opt.templ = templ;
  opt.sequence = sequence;
  opt.seed = seed;
  opt.data = data_dir;
  std::vector<std::string> chains;
  try {
    if (input == "-" || output == "-") throw InputError("\"-\" (the standard streams) is for the command line");
    opt.pack = side_chains_packed(side_chains);
    if (seed && *seed < 1) throw InputError("seed: expected a whole number of at least 1");
    if (py::isinstance<py::str>(chain)) chains.push_back(chain.cast<std::string>());
    else if (!chain.is_none()) chains = chain.cast<std::vector<std::string>>();
    opt.chains = chain_list(chains);
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  } catch (const py::cast_error&) {
    throw py::value_error("chain: expected a name or a list of names");
  }
  std::vector<std::string> lines = unlocked([&] {
    std::shared_ptr<const RebuildData> data = data_for(opt.data);
    ReportSink sink;
    int status = 0;
    {
      UseReportSink use(sink);
      status = rebuild(opt, data.get());
    }
    if (status != 0) fail(status, sink);
    std::vector<std::string> all = sink.reports;
    all.insert(all.end(), sink.warnings.begin(), sink.warnings.end());
    return all;
  });
  py::list out;
  for (const std::string& l : lines) out.append(l);
  return out;
}

py::dict score_files_py(const std::string& native, const std::string& model, const std::string& native_chain,
                        const std::string& model_chain, bool by_order) {
  const std::string text = unlocked([&] {
    return score_files(native, model, native_chain, model_chain, "",
                       by_order ? Matching::by_order : Matching::by_number);
  });
  py::dict d;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
    if (value.find(' ') != std::string::npos) {
      py::list v;
      std::istringstream parts(value);
      for (double x; parts >> x;) v.append(x);
      d[py::str(key)] = py::tuple(v);
    } else if (value.find_first_of(".en") != std::string::npos) {
      d[py::str(key)] = std::stod(value);
    } else {
      d[py::str(key)] = std::stol(value);
    }
  }
  return d;
}

}  // namespace

PYBIND11_MODULE(vorb, m) {
  vorb::tools::keep_large_blocks_mapped();
  m.doc() = "Protein model completion in process: C-alpha traces to full-atom models, "
            "whole-file rebuilds and scoring.";
  m.attr("__version__") = VORB_VERSION;

  py::class_<Model, std::shared_ptr<Model>>(m, "Model", "A full-atom model in the frame of its input.")
      .def_property_readonly("xyz", [](const Model& s) {
        py::array_t<double> a({py::ssize_t(s.xyz.size()), py::ssize_t(3)});
        auto v = a.mutable_unchecked<2>();
        for (std::size_t i = 0; i < s.xyz.size(); ++i)
          for (int c = 0; c < 3; ++c) v(py::ssize_t(i), c) = s.xyz[i][std::size_t(c)];
        return a;
      }, "(m, 3) float64 array of atom positions")
      .def_readonly("atom_names", &Model::atom_names)
      .def_readonly("residue_names", &Model::residue_names)
      .def_property_readonly("residue_numbers", [](const Model& s) {
        return py::array_t<int>(py::ssize_t(s.residue_numbers.size()), s.residue_numbers.data());
      })
      .def_readonly("elements", &Model::elements)
      .def_readonly("chains", &Model::chains)
      .def_readonly("messages", &Model::messages, "the run's report lines")
      .def_readonly("warnings", &Model::warnings, "the run's warnings and VORB's error stream")
      .def("to_pdb", [](const Model& s) { return s.pdb; }, "the model as a PDB file's text")
      .def("to_mmcif", [](Model& s) { return unlocked([&] { return s.to_mmcif(); }); },
           "the model as an mmCIF file's text")
      .def("__len__", [](const Model& s) { return s.xyz.size(); })
      .def("__repr__", [](const Model& s) {
        return "<vorb.Model: " + std::to_string(s.xyz.size()) + " atoms>";
      });

  m.def("data_dir", [](const std::string& given) { return unlocked([&] { return data_dir(given); }); },
        py::arg("data") = "", "The data directory the calls use (BBdat, tables, rotamers).");
  m.def("complete_trace", &complete_trace, py::arg("ca"), py::arg("sequence"), py::arg("mode") = "23",
        py::arg("side_chains") = "packed", py::arg("template") = py::none(),
        py::arg("seed") = py::none(), py::arg("data") = "",
        "Completes a C-alpha trace (an (n, 3) float array, one row per residue of the one-letter\n"
        "sequence) into a full-atom model in the frame of `ca`. mode: \"23\" (default), \"2\",\n"
        "\"3\", \"31\" (rows of NaN mark C-alpha atoms to build), \"4\". template: None (modes 3,\n"
        "31, 4: the trace itself), a structure file's path, or an (n, 3) array. side_chains:\n"
        "\"packed\" or \"rules\". seed: VORB's random seed (default: its own). data: the data\n"
        "directory (default: found as the command line finds it).");
  m.def("_complete_text", &complete_text, py::arg("text"), py::arg("sequence"), py::arg("mode") = "23",
        py::arg("side_chains") = "packed", "complete_trace's C++ work alone, for benchmarks");
  m.def("rebuild_file", &rebuild_file, py::arg("input_path"), py::arg("output_path"), py::kw_only(),
        py::arg("mode") = "23", py::arg("chain") = py::none(), py::arg("ca_only") = false,
        py::arg("template") = "", py::arg("side_chains") = "packed", py::arg("sequence") = "",
        py::arg("seed") = py::none(), py::arg("hetero") = true, py::arg("data") = "",
        "What `vorb-tools rebuild` does, with the same options; returns its report lines.");
  m.def("score", &score_files_py, py::arg("native_path"), py::arg("model_path"), py::kw_only(),
        py::arg("native_chain") = "", py::arg("model_chain") = "", py::arg("by_order") = false,
        "The figures `vorb-tools score` prints, as a dict.");
}
