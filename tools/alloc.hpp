// Allocation setting for processes that run VORB in memory.
//
// A run's state is tables of fixed capacity from calloc, cheap only while the C library maps
// large blocks straight from the kernel (zero pages, touched on use). The GNU C library raises
// its mapping threshold whenever a mapped block is freed, so after the first large text is
// read and dropped, later states come from the heap and are cleared in full: about 9 MB written
// per run. Fixing the threshold at its initial 128 KiB keeps them mapped.
#pragma once

#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vorb::tools {

inline void keep_large_blocks_mapped() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace vorb::tools
