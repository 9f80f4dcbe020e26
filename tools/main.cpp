// vorb-tools: the tools around VORB (topology generator, library builder, tables, scoring).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "alloc.hpp"
#include "commands.hpp"

namespace {

struct Command {
  const char* name;
  int (*fn)(const vorb::tools::Args&);
  const char* summary;
};

const Command kCommands[] = {
    {"hdd", vorb::tools::cmd_hdd, "topology file Hdd for a structure or a sequence"},
    {"tables", vorb::tools::cmd_tables, "tables of the topology generator from real structures"},
    {"bbdat", vorb::tools::cmd_bbdat, "build the backbone fragment library; --rebuild checks one"},
    {"ca-trace", vorb::tools::cmd_ca_trace, "C-alpha trace of a structure, residues numbered 1..n"},
    {"score", vorb::tools::cmd_score, "accuracy of a built model against its native"},
    {"prep", vorb::tools::cmd_prep, "PDB or mmCIF chain to the program's input, Hdd and seq.dat"},
    {"export", vorb::tools::cmd_export, "program model to standard PDB or mmCIF, original numbering"},
    {"rebuild", vorb::tools::cmd_rebuild, "prep, VORB and export in one command"},
    {"pack", vorb::tools::cmd_pack, "new side chains for a model, backbone untouched"},
    {"rotamers", vorb::tools::cmd_rotamers, "rotamer library from real structures; --check measures one"},
    {"regularize", vorb::tools::cmd_regularize, "C-alpha trace to 3.8 A steps, no pair under 4.0 A"},
    {nullptr, nullptr, nullptr},
};

void usage() {
  std::fprintf(stderr, "usage: vorb-tools COMMAND [ARGS...] | --version\n"
                       "COMMAND --help describes a command\ncommands:\n");
  for (const Command& c : kCommands)
    if (c.name) std::fprintf(stderr, "  %-10s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
  vorb::tools::keep_large_blocks_mapped();
  if (argc < 2) {
    usage();
    return 2;
  }
  std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    usage();
    return 0;
  }
  if (name == "--version" || name == "version") {
    std::printf("vorb-tools %s\n", VORB_VERSION);
    return 0;
  }
  vorb::tools::Args args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (c.name && name == c.name) {
      try {
        return c.fn(args);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "vorb-tools %s: %s\n", c.name, e.what());
        return 2;
      }
    }
  }
  std::fprintf(stderr, "vorb-tools: unknown command \"%s\"\n", name.c_str());
  usage();
  return 2;
}
