#include "builders/hydrogen_run.hpp"

#include "builders/hydrogens.hpp"
#include "io/pdb_write.hpp"

namespace vorb {

void hydrogen_only_run(ModelState& s) {
  hadd(s);  // ends with the hydroxyl turning of mode "1"
  write_hydrogen_output(s);
}

}  // namespace vorb
