#include "trace_ss.hpp"

#include <gtest/gtest.h>

#include "dssp.hpp"
#include "support/test_support.hpp"

namespace vorb::tools {
namespace {

// On ubiquitin's C-alpha trace the codes agree with the hydrogen-bond assignment of the full
// structure for most residues, and every residue gets one; a residue without C-alpha is coil.
TEST(TraceSecondary, AgreesWithTheFullAssignmentOnUbiquitin) {
  const std::string path = std::string(VORB_SOURCE_DIR) + "/examples/1ubi_a.pdb";
  const Prepared full = prepare_structure(path, {});
  PrepOptions ca;
  ca.ca_only = true;
  Prepared trace = prepare_structure(path, ca);
  const Assignment as = assign_secondary(full.chain_view());
  const std::vector<int> code = trace_secondary(trace);
  ASSERT_EQ(code.size(), as.ss.size());
  int helix = 0, helix_hit = 0, strand = 0, strand_hit = 0, false_calls = 0;
  for (std::size_t k = 0; k < code.size(); ++k) {
    const int want = three_state(as.ss[k]);
    helix += want == 2;
    helix_hit += want == 2 && code[k] == 2;
    strand += want == 4;
    strand_hit += want == 4 && code[k] == 4;
    false_calls += want == 1 && code[k] != 1;
  }
  EXPECT_GE(helix_hit, helix * 8 / 10) << helix_hit << " of " << helix;
  EXPECT_GE(strand_hit, strand * 6 / 10) << strand_hit << " of " << strand;
  EXPECT_LE(false_calls, 15);  // turns and 3-10 helices read as helix

  trace.res[25].res.atoms.clear();
  trace.res[25].pos.clear();
  EXPECT_EQ(trace_secondary(trace)[25], 1);
  const std::vector<std::string> lines = trace_seq_dat_lines(trace);
  ASSERT_EQ(lines.size(), trace.res.size());
  EXPECT_EQ(lines[0], "    1   MET    1    9");
}

}  // namespace
}  // namespace vorb::tools
