#include "pass/travel_order.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace tolm::pass {
namespace {

double squared_distance(ir::Point a, ir::Point b) {
  const double dx = static_cast<double>(a.x) - static_cast<double>(b.x);
  const double dy = static_cast<double>(a.y) - static_cast<double>(b.y);
  return dx * dx + dy * dy;
}

void reorder_layer(const TravelOrder &settings, ir::lo::Layer &layer) {
  std::vector<ir::lo::Toolpath> candidates;
  std::vector<ir::lo::Toolpath> empties;
  for (ir::lo::Toolpath &toolpath : layer.toolpaths) {
    if (!ir::lo::is_extrude(toolpath))
      continue;
    if (toolpath.path.points.empty())
      empties.push_back(std::move(toolpath));
    else
      candidates.push_back(std::move(toolpath));
  }

  std::vector<ir::lo::Toolpath> ordered;
  ordered.reserve(candidates.size() + empties.size());
  ir::Point position = settings.start;
  while (!candidates.empty()) {
    double best = std::numeric_limits<double>::infinity();
    size_t choice = 0;
    bool reversed = false;
    for (size_t index = 0; index < candidates.size(); ++index) {
      const std::vector<ir::Point> &points = candidates[index].path.points;
      const double to_first = squared_distance(position, points.front());
      if (to_first < best) {
        best = to_first;
        choice = index;
        reversed = false;
      }
      if (settings.allow_reverse) {
        const double to_last = squared_distance(position, points.back());
        if (to_last < best) {
          best = to_last;
          choice = index;
          reversed = true;
        }
      }
    }
    // Erasing keeps the remaining candidates in order, on which the tie rule depends.
    ir::lo::Toolpath chosen = std::move(candidates[choice]);
    candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(choice));
    if (reversed && chosen.path.points.size() >= 2)
      std::reverse(chosen.path.points.begin(), chosen.path.points.end());
    position = chosen.path.points.back();
    ordered.push_back(std::move(chosen));
  }
  for (ir::lo::Toolpath &toolpath : empties)
    ordered.push_back(std::move(toolpath));

  layer.toolpaths.clear();
  layer.toolpaths.reserve(ordered.size() * 2);
  bool have_end = false;
  ir::Point end{};
  for (ir::lo::Toolpath &toolpath : ordered) {
    if (toolpath.path.points.empty()) {
      layer.toolpaths.push_back(std::move(toolpath));
      continue;
    }
    const ir::Point first = toolpath.path.points.front();
    if (have_end && end != first) {
      ir::lo::Toolpath travel;
      travel.kind = ir::lo::Travel{};
      travel.path.points = {end, first};
      travel.width_um = 0;
      layer.toolpaths.push_back(std::move(travel));
    }
    end = toolpath.path.points.back();
    have_end = true;
    layer.toolpaths.push_back(std::move(toolpath));
  }
}

} // namespace

ir::lo::Program run(const TravelOrder &settings, ir::lo::Program program) {
  for (ir::lo::Layer &layer : program.layers)
    reorder_layer(settings, layer);
  return program;
}

} // namespace tolm::pass
