// Grid cells and ordered cell sets.
#pragma once

#include <compare>
#include <cstdint>
#include <vector>

namespace tolm::denote {

/// A grid cell: i indexes X, j indexes Y. Cell (i, j) covers [i*res, (i+1)*res) x [j*res,
/// (j+1)*res).
struct Cell {
  int64_t i = 0;
  int64_t j = 0;
  friend auto operator<=>(const Cell &, const Cell &) = default;
};

/// An ordered cell set: ascending by i, then j, without duplicates, in one contiguous array.
using CellSet = std::vector<Cell>;

/// Every rasterizing operation raises a resolution below 1 to 1.
inline int64_t effective_resolution(int64_t resolution_um) {
  return resolution_um < 1 ? 1 : resolution_um;
}

} // namespace tolm::denote
