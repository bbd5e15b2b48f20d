// Turning a low-level program about the Z axis by any angle, with integer rounding.
#pragma once

#include "ir/lo.h"

namespace tolm::voxel {

/// The program turned counter-clockwise by `radians` about the origin in the XY plane: every
/// point of every toolpath becomes (round(c x - s y), round(s x + c y)), rounded half away from
/// zero, saturating at the int64 limits, NaN giving 0. Everything else is copied unchanged.
ir::lo::Program rotate_z(const ir::lo::Program &program, double radians);

} // namespace tolm::voxel
