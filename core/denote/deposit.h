// Deposit multiplicity and melt volume: per layer, how many extrusion toolpaths cover each cell,
// and how much molten material (mm³) the layer's segments put into each cell. Both draw with
// the capsule rule, so their cells are exactly the occupied cells.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "denote/cells.h"
#include "denote/occupancy.h"
#include "ir/lo.h"

namespace tolm::denote {

/// A covered cell and the number of distinct paths covering it (at least 1).
struct CellCount {
  Cell cell;
  uint32_t count = 0;
  friend bool operator==(const CellCount &, const CellCount &) = default;
};

/// A cell and the melt volume it received, in mm³.
struct CellVolume {
  Cell cell;
  double volume_mm3 = 0.0;
  friend bool operator==(const CellVolume &, const CellVolume &) = default;
};

struct LayerDeposit {
  int64_t z_um = 0;
  /// The resolution actually used (at least 1).
  int64_t resolution_um = 1;
  /// Ascending by cell (i, then j), one entry per covered cell.
  std::vector<CellCount> cells;
  friend bool operator==(const LayerDeposit &, const LayerDeposit &) = default;
};

struct Deposit {
  std::vector<LayerDeposit> layers;
  friend bool operator==(const Deposit &, const Deposit &) = default;
};

struct LayerVolume {
  int64_t z_um = 0;
  /// The resolution actually used (at least 1).
  int64_t resolution_um = 1;
  /// The layer height actually used (at least 1).
  int64_t layer_height_um = 1;
  /// Ascending by cell (i, then j), one entry per cell touched by a segment.
  std::vector<CellVolume> cells;
  friend bool operator==(const LayerVolume &, const LayerVolume &) = default;
};

struct Volume {
  std::vector<LayerVolume> layers;
  friend bool operator==(const Volume &, const Volume &) = default;
};

/// Per cell, the number of paths whose cell set holds it; res is raised to 1 when below 1.
LayerDeposit deposit_of(std::span<const PathRef> paths, int64_t z_um, int64_t res);

/// The deposit of every layer's extrusion toolpaths, layers computed in parallel, in layer order.
Deposit denote_lo_deposit(const ir::lo::Program &program, int64_t res);

/// Per cell, the melt volume of the paths' segments, each segment's volume spread evenly over
/// its capsule's cells; res and the layer height are raised to 1 when below 1.
LayerVolume volume_of(std::span<const PathRef> paths, int64_t z_um, int64_t res,
                      int64_t layer_height_um);

/// The layer height of every layer: the given height for all, or else the first layer's Z and
/// then the rise from the previous layer, each at least 1.
std::vector<int64_t> layer_heights(const ir::lo::Program &program,
                                   std::optional<int64_t> layer_height_um);

/// The volume of every layer's extrusion toolpaths with the heights of `layer_heights`,
/// computed on the calling thread in layer order.
Volume denote_lo_volume(const ir::lo::Program &program, int64_t res,
                        std::optional<int64_t> layer_height_um);

} // namespace tolm::denote
