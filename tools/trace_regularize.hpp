// The trace regulariser on prepared chains: `vorb-tools regularize` and the --regularize step
// of rebuild.
#pragma once

#include <string>

#include "commands.hpp"
#include "prep.hpp"

namespace vorb::tools {

enum class RegularizeWhen { automatic, on, off };

// "auto", "on" or "off"; InputError otherwise.
RegularizeWhen parse_regularize(const std::string& word);

// Whether every residue holds a C-alpha atom and nothing else (absent residues aside).
bool is_trace(const Prepared& p);

// Regularises the C-alpha atoms of a trace in place when `when` asks for it (automatic: when
// the trace needs it) and returns the report line, empty when nothing was done. Residues are
// neighbours when their original numbers are consecutive, or with by_position their new ones
// (a chain placed on its sequence, absent residues included). InputError when `on` is asked for
// a chain that is not a trace.
std::string regularize_prepared(Prepared& p, RegularizeWhen when, bool by_position = false);

int cmd_regularize(const Args& args);

}  // namespace vorb::tools
