// The travel-order pass: within each layer, print the extrusions in greedy nearest-neighbour
// order (reversing a path when its far end is nearer) and rebuild the travels between them.
// Extrusions are only permuted and reversed, so every layer's deposited cells are unchanged.
#pragma once

#include "ir/geometry.h"
#include "ir/lo.h"

namespace tolm::pass {

struct TravelOrder {
  /// Where the search of every layer begins.
  ir::Point start{0, 0};
  /// Whether a path may be printed from its last point to its first.
  bool allow_reverse = true;
};

/// Reorders the extrusions of every layer; travels are dropped and regenerated.
ir::lo::Program run(const TravelOrder &settings, ir::lo::Program program);

} // namespace tolm::pass
