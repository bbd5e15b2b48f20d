// The demo square: a built-in high-level program of one square perimeter.
#pragma once

#include "ir/hi.h"

namespace tolm::lower {

/// One layer at `z_mm` holding one `Perimeter` region whose outline and single fill (width
/// 400 µm) run (0, 0), (s, 0), (s, s), (0, s), (0, 0). Millimetres become microns by truncating
/// the product with 1000 toward zero, saturating at the int64 range, NaN giving 0.
ir::hi::Program demo_square(double side_mm, double z_mm);

} // namespace tolm::lower
