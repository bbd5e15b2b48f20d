// A heuristic, report-only count of deposited cells that travel moves pass over.
#pragma once

#include <cstdint>
#include <vector>

#include "denote/occupancy.h"
#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::analyze {

struct LayerCollisions {
  int64_t z_um = 0;
  uint64_t crossed_cells = 0;
};

struct TravelCollisions {
  /// The resolution used (at least 1).
  int64_t resolution_um = 1;
  /// The sum of `crossed_cells` over all layers.
  uint64_t total = 0;
  std::vector<LayerCollisions> per_layer;
};

/// Occupied cells that a layer's travels pass through, excluding each travel's start and end
/// cells; `occupancy` is the layer's whole final material at resolution `res` (at least 1).
uint64_t crossed_cells(const ir::lo::Layer &layer, const denote::LayerOccupancy &occupancy,
                       int64_t res);

/// Layers are rasterized in parallel; the counting runs in layer order.
TravelCollisions travel_collisions(const ir::lo::Program &program, int64_t resolution_um);

void write_travel_collisions(json::Writer &writer, const TravelCollisions &report);

} // namespace tolm::analyze
