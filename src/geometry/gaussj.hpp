// Gauss-Jordan elimination with full pivoting on a 3 x 3 system.
#pragma once

namespace vorb {

// a: 3 x 3 matrix stored column by column (element (r, c) at a[(r-1) + 3 (c-1)]); b: right-hand
// side. On return a holds the inverse and b the solution; a zero pivot gives b = (0, 0, 0).
void gaussj(float a[9], float b[3]);

}  // namespace vorb
