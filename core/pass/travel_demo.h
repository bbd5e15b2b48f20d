// The travel-order demonstration: five scattered strokes, lowered, then reordered.
#pragma once

#include <cstdint>

#include "ir/lo.h"

namespace tolm::pass {

/// The total length of a plan's travel toolpaths, in microns.
double travel_length_um(const ir::lo::Program &program);

struct TravelDemo {
  /// The pass left the occupancy unchanged.
  bool sound = false;
  double travel_before_mm = 0.0;
  double travel_after_mm = 0.0;
};

/// Lowers the built-in layer (strokes at x = 0, 8000, 2000, 6000, 4000 µm), runs the pass with
/// start (0, 0) and reversal allowed, and compares travel and occupancy.
TravelDemo demo_travel_order(int64_t resolution_um);

} // namespace tolm::pass
