// The incremental denote cache: the occupancy and layer fingerprints of a plan at one resolution,
// with a dirty flag per layer. A refresh re-rasterizes only the flagged layers, or every layer
// when the plan's layer count differs from the cached count. The cache holds no reference to the
// plan; its owner flags every layer that it changes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "denote/occupancy.h"
#include "ir/lo.h"
#include "util/numeric.h"

namespace tolm::incremental {

struct DenoteCache {
  std::vector<denote::LayerOccupancy> layers;
  /// One flag per cached layer; non-zero means the layer must be rasterized again.
  std::vector<uint8_t> dirty;
  std::vector<uint64_t> fingerprints;
  /// At least 1.
  int64_t resolution_um = 1;
  /// Number of set flags in `dirty`, so that a refresh with nothing flagged touches nothing.
  size_t dirty_count = 0;
  /// The fold of `fingerprints`, kept current by every refresh that changes them.
  uint128 folded = 0;

  /// An empty cache at max(resolution_um, 1).
  static DenoteCache empty(int64_t resolution_um);

  /// Drops everything cached and sets the resolution to max(resolution_um, 1).
  void rekey(int64_t resolution_um);

  /// Flags layer `layer`; an index past the cached layers is ignored.
  void mark_dirty(uint64_t layer);

  /// Refreshes against `program` and returns the cached occupancy, in layer order.
  std::span<const denote::LayerOccupancy> occupancy(const ir::lo::Program &program);

  /// The fold of the cached layer fingerprints (call right after a refresh).
  uint128 material_fingerprint() const { return folded; }
};

} // namespace tolm::incremental
