#include "incremental/edit_effect.h"

#include <algorithm>
#include <new>
#include <span>
#include <stdexcept>

#include "denote/occupancy.h"
#include "transform/collinear.h"

namespace tolm::incremental {
namespace {

using denote::CellSet;
using ir::Point;

/// The cells of the segment from `a` to `b`.
CellSet segment_cells(Point a, Point b, int64_t width_um, int64_t res) {
  const Point ends[] = {a, b};
  return denote::path_cells(ends, width_um, res);
}

/// A merge of `old` keeps the points chosen below (the rule of the merge edit itself); each kept
/// segment replaces the run of old segments between its ends, so equal cells run by run mean an
/// equal union.
bool merge_keeps_cells(std::span<const Point> old, int64_t width_um, int64_t res) {
  size_t last = 0; // index of the last kept point
  for (size_t k = 1; k < old.size(); ++k) {
    const bool final_point = k + 1 == old.size();
    if (!final_point && transform::on_closed_segment(old[last], old[k], old[k + 1]))
      continue;
    if (k > last + 1 && segment_cells(old[last], old[k], width_um, res) !=
                            denote::path_cells(old.subspan(last, k - last + 1), width_um, res))
      return false;
    last = k;
  }
  return true;
}

} // namespace

std::expected<AppliedEdit, transform::TransformError> apply_tracked(const transform::Action &action,
                                                                    ir::lo::Program &program,
                                                                    int64_t resolution_um,
                                                                    bool check) {
  using namespace transform;
  const bool split = std::holds_alternative<SplitSegment>(action);
  const bool merge = std::holds_alternative<MergeCollinear>(action);
  // What a split or merge needs from before the edit; indices are only read when in range.
  std::vector<Point> old_points;
  const ir::lo::Toolpath *target = nullptr;
  if (check && (split || merge)) {
    const uint64_t l = action_layer(action);
    const uint64_t t =
        split ? std::get<SplitSegment>(action).toolpath : std::get<MergeCollinear>(action).toolpath;
    if (l < program.layers.size() && t < program.layers[l].toolpaths.size()) {
      target = &program.layers[l].toolpaths[t];
      if (merge && ir::lo::is_extrude(*target))
        old_points = target->path.points;
    }
  }

  auto touched = apply(action, program);
  if (!touched)
    return std::unexpected(touched.error());
  AppliedEdit edit{std::move(*touched), true};
  if (!check)
    return edit;
  if (!split && !merge) {
    edit.cells_may_change = false;
    return edit;
  }
  // Toolpaths stay in place on a split or merge, so `target` still addresses the edited one.
  if (!ir::lo::is_extrude(*target)) {
    edit.cells_may_change = false;
    return edit;
  }
  const int64_t width_um = target->width_um;
  const std::span<const Point> now = target->path.points;
  // The edit has landed: a comparison that cannot be completed must count as a change.
  try {
    if (split) {
      const uint64_t s = std::get<SplitSegment>(action).segment;
      const CellSet before = segment_cells(now[s], now[s + 2], width_um, resolution_um);
      edit.cells_may_change =
          before != denote::path_cells(now.subspan(s, 3), width_um, resolution_um);
    } else {
      edit.cells_may_change = !merge_keeps_cells(old_points, width_um, resolution_um);
    }
  } catch (const std::bad_alloc &) {
    edit.cells_may_change = true;
  } catch (const std::length_error &) {
    edit.cells_may_change = true;
  }
  return edit;
}

} // namespace tolm::incremental
