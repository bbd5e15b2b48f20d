// The straight-run test shared by the enumeration and the merge edit.
#pragma once

#include <algorithm>

#include "ir/geometry.h"
#include "util/numeric.h"

namespace tolm::transform {

/// Whether b lies on the closed segment from a to c: inside the segment's bounding box and on its
/// line, the cross products compared exactly. A repeated point (b = a or b = c) lies on it.
inline bool on_closed_segment(ir::Point a, ir::Point b, ir::Point c) {
  if (b.x < std::min(a.x, c.x) || b.x > std::max(a.x, c.x) || b.y < std::min(a.y, c.y) ||
      b.y > std::max(a.y, c.y))
    return false;
  // Differences of int64 values need 65 bits and their products up to 128 bits of magnitude,
  // one more than a signed 128-bit integer holds, so the products are compared as sign and
  // unsigned magnitude.
  const int128 bx = int128{b.x} - a.x, by = int128{b.y} - a.y;
  const int128 cx = int128{c.x} - a.x, cy = int128{c.y} - a.y;
  auto magnitude = [](int128 v) {
    return v < 0 ? static_cast<uint128>(-v) : static_cast<uint128>(v);
  };
  auto sign = [](int128 u, int128 v) {
    if (u == 0 || v == 0)
      return 0;
    return (u < 0) == (v < 0) ? 1 : -1;
  };
  const int left_sign = sign(bx, cy), right_sign = sign(by, cx);
  if (left_sign != right_sign)
    return false;
  if (left_sign == 0)
    return true;
  return magnitude(bx) * magnitude(cy) == magnitude(by) * magnitude(cx);
}

} // namespace tolm::transform
