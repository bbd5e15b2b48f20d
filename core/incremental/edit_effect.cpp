#include "incremental/edit_effect.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <span>
#include <stdexcept>

#include "denote/occupancy.h"
#include "transform/collinear.h"

namespace tolm::incremental {
namespace {

using denote::CellSet;
using ir::Point;

double radius_of(int64_t width_um) {
  return static_cast<double>(std::max<int64_t>(width_um, 0)) / 2;
}

CellSet merged(CellSet a, const CellSet &b) {
  CellSet out;
  out.reserve(a.size() + b.size());
  std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

/// The cells of the polyline `points` (at least two points), segment by segment.
CellSet run_cells(std::span<const Point> points, int64_t res, double r) {
  CellSet cells;
  for (size_t k = 0; k + 1 < points.size(); ++k)
    cells = merged(std::move(cells), denote::capsule_cells(points[k], points[k + 1], res, r));
  return cells;
}

/// A merge of `old` keeps the points chosen below (the rule of the merge edit itself); each kept
/// segment replaces the run of old segments between its ends, so equal cells run by run mean an
/// equal union.
bool merge_keeps_cells(std::span<const Point> old, int64_t res, double r) {
  size_t last = 0; // index of the last kept point
  for (size_t k = 1; k < old.size(); ++k) {
    const bool final_point = k + 1 == old.size();
    if (!final_point && transform::on_closed_segment(old[last], old[k], old[k + 1]))
      continue;
    if (k > last + 1 && denote::capsule_cells(old[last], old[k], res, r) !=
                            run_cells(old.subspan(last, k - last + 1), res, r))
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
  const double r = radius_of(target->width_um);
  const std::span<const Point> now = target->path.points;
  // The edit has landed: a comparison that cannot be completed must count as a change.
  try {
    if (split) {
      const uint64_t s = std::get<SplitSegment>(action).segment;
      const CellSet before = denote::capsule_cells(now[s], now[s + 2], resolution_um, r);
      edit.cells_may_change = before != run_cells(now.subspan(s, 3), resolution_um, r);
    } else {
      edit.cells_may_change = !merge_keeps_cells(old_points, resolution_um, r);
    }
  } catch (const std::bad_alloc &) {
    edit.cells_may_change = true;
  } catch (const std::length_error &) {
    edit.cells_may_change = true;
  }
  return edit;
}

} // namespace tolm::incremental
