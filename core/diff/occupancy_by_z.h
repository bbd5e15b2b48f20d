// The Z-keyed occupancy: the union of the occupied cells of all layers at one Z, keyed by Z.
// Both material diffs compare plans through it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "denote/cells.h"
#include "ir/lo.h"

namespace tolm::diff {

/// The cells of every layer at one Z.
struct ZCells {
  int64_t z_um = 0;
  denote::CellSet cells;
  friend bool operator==(const ZCells &, const ZCells &) = default;
};

/// Ascending by Z, one entry per distinct Z (also for layers that deposit nothing).
using ZOccupancy = std::vector<ZCells>;

/// Rasterizes every layer (in parallel) and unites the cells of layers that share a Z.
ZOccupancy occupancy_by_z(std::span<const ir::lo::Layer> layers, int64_t resolution_um);

} // namespace tolm::diff
