#include "transform/legal_actions.h"

#include "transform/collinear.h"
#include "util/abort.h"

namespace tolm::transform {
namespace {

bool splittable(ir::Point s, ir::Point e) {
  // The exact integer midpoint exists when both differences are even; a zero-length segment has
  // none distinct from its ends. Parity of the difference is the parity of the low bits.
  const uint64_t dx = static_cast<uint64_t>(e.x) - static_cast<uint64_t>(s.x);
  const uint64_t dy = static_cast<uint64_t>(e.y) - static_cast<uint64_t>(s.y);
  return (dx & 1) == 0 && (dy & 1) == 0 && (dx != 0 || dy != 0);
}

bool has_collinear_window(std::span<const ir::Point> p) {
  for (size_t w = 0; w + 2 < p.size(); ++w)
    if (on_closed_segment(p[w], p[w + 1], p[w + 2]))
      return true;
  return false;
}

bool closed(std::span<const ir::Point> p) { return p.size() >= 3 && p.front() == p.back(); }

template <class Emit>
void emit_geometry_moves(std::span<const ir::Point> p, uint64_t layer, uint64_t toolpath,
                         Emit &&emit) {
  if (p.size() < 2)
    return;
  for (size_t s = 0; s + 1 < p.size(); ++s)
    if (splittable(p[s], p[s + 1]))
      emit(SplitSegment{layer, toolpath, s, 500});
  if (has_collinear_window(p))
    emit(MergeCollinear{layer, toolpath});
  if (closed(p))
    for (size_t v = 1; v + 1 < p.size(); ++v)
      emit(RelocateSeam{layer, toolpath, v});
}

} // namespace

GeometryMoves geometry_moves(std::span<const ir::Point> p) {
  GeometryMoves moves;
  if (p.size() < 2)
    return moves;
  for (size_t s = 0; s + 1 < p.size(); ++s)
    moves.splits += splittable(p[s], p[s + 1]) ? 1 : 0;
  moves.merge = has_collinear_window(p);
  moves.seams = closed(p) ? p.size() - 2 : 0;
  return moves;
}

uint64_t layer_action_count(const ir::lo::Layer &layer) {
  const size_t count = layer.toolpaths.size();
  if (count == 0)
    return 0;
  uint64_t total = 2 * count - 1;
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
    total += geometry_moves(toolpath.path.points).total();
  return total;
}

std::vector<Action> legal_actions(const ir::lo::Program &program) {
  std::vector<Action> actions;
  for (size_t l = 0; l < program.layers.size(); ++l) {
    const ir::lo::Layer &layer = program.layers[l];
    const size_t count = layer.toolpaths.size();
    for (size_t t = 0; t < count; ++t) {
      actions.emplace_back(ReversePath{l, t});
      if (t + 1 < count)
        actions.emplace_back(SwapToolpaths{l, t, t + 1});
    }
    for (size_t t = 0; t < count; ++t)
      emit_geometry_moves(layer.toolpaths[t].path.points, l, t,
                          [&](Action action) { actions.push_back(std::move(action)); });
  }
  return actions;
}

Action layer_action_at(const ir::lo::Layer &layer, uint64_t layer_index,
                       std::span<const uint64_t> geometry, uint64_t position) {
  const uint64_t count = layer.toolpaths.size();
  TOLM_CHECK(count > 0 && geometry.size() == count);
  const uint64_t order_moves = 2 * count - 1;
  if (position < order_moves) {
    const uint64_t t = position / 2;
    if (position % 2 == 0)
      return ReversePath{layer_index, t};
    return SwapToolpaths{layer_index, t, t + 1};
  }
  uint64_t rest = position - order_moves;
  for (uint64_t t = 0; t < count; ++t) {
    if (rest >= geometry[t]) {
      rest -= geometry[t];
      continue;
    }
    const std::span<const ir::Point> p = layer.toolpaths[t].path.points;
    for (size_t s = 0; s + 1 < p.size(); ++s)
      if (splittable(p[s], p[s + 1]) && rest-- == 0)
        return SplitSegment{layer_index, t, s, 500};
    if (has_collinear_window(p) && rest-- == 0)
      return MergeCollinear{layer_index, t};
    TOLM_CHECK(closed(p) && rest + 2 < p.size());
    return RelocateSeam{layer_index, t, rest + 1};
  }
  internal_abort("action position past the layer's count");
}

} // namespace tolm::transform
