// Rotation of a point about an axis line.
#pragma once

namespace vorb {

// Turns (x, y, z) about the line through (a, b, c) along (u, v, w) by theta radians (right-hand
// rule) and normalises (u, v, w) in place. An axis shorter than 0.1 leaves point and axis as
// they are. Single precision.
void rotate_matrix2(float& x, float& y, float& z, float a, float b, float c, float& u, float& v,
                    float& w, float theta);

}  // namespace vorb
