// Dihedral angles.
#pragma once

#include "geometry/vec3.hpp"
#include "model/model_state.hpp"

namespace vorb {

// Dihedral of four points in radians (-pi..pi, IUPAC sign); 0 when a bond is degenerate
// (product of the three bond lengths below 0.001) and when the sine and cosine parts are both
// zero (three collinear points).
float dihedral(Vec3 p1, Vec3 p2, Vec3 p3, Vec3 p4);

// Dihedral of atoms i1..i4 of the model; 10.0 (undefined) when any x is above 990.0.
float torsion_angle(const ModelState& s, int i1, int i2, int i3, int i4);

}  // namespace vorb
