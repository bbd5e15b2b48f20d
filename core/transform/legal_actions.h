// The legal actions of a program in their fixed order. Layer by layer: first the order moves
// (ReversePath t, then SwapToolpaths t/t+1, for every toolpath t), then the geometry moves of each
// toolpath in turn (midpoint splits of even segments, at most one merge, seam moves of a closed
// path). PermuteToolpaths is never offered.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ir/lo.h"
#include "transform/action.h"

namespace tolm::transform {

/// Every legal action of `program`, in enumeration order.
std::vector<Action> legal_actions(const ir::lo::Program &program);

/// The geometry moves offered for one path.
struct GeometryMoves {
  uint64_t splits = 0;
  bool merge = false;
  uint64_t seams = 0;
  uint64_t total() const { return splits + (merge ? 1 : 0) + seams; }
};

GeometryMoves geometry_moves(std::span<const ir::Point> points);

/// The number of legal actions that one layer contributes.
uint64_t layer_action_count(const ir::lo::Layer &layer);

/// The action at `position` of the layer's own part of the enumeration, where `geometry[t]` is
/// `geometry_moves(...).total()` of toolpath t and `position` is below the layer's count.
Action layer_action_at(const ir::lo::Layer &layer, uint64_t layer_index,
                       std::span<const uint64_t> geometry, uint64_t position);

} // namespace tolm::transform
