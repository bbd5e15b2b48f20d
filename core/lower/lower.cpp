#include "lower/lower.h"

#include <optional>

namespace tolm::lower {

ir::lo::Program lower(const ir::hi::Program &program) {
  ir::lo::Program out;
  out.layers.reserve(program.layers.size());
  for (const ir::hi::Layer &layer : program.layers) {
    ir::lo::Layer &lowered = out.layers.emplace_back();
    lowered.z_um = layer.z_um;
    // Nothing links one layer to the next: every layer starts with its first extrusion.
    std::optional<ir::Point> previous_end;
    for (const ir::hi::Region &region : layer.regions) {
      for (const ir::ExtrudePath &fill : region.fills) {
        const std::vector<ir::Point> &points = fill.path.points;
        if (points.empty())
          continue;
        if (previous_end && *previous_end != points.front()) {
          ir::lo::Toolpath &travel = lowered.toolpaths.emplace_back();
          travel.kind = ir::lo::Travel{};
          travel.path.points = {*previous_end, points.front()};
          travel.width_um = 0;
        }
        ir::lo::Toolpath &extrusion = lowered.toolpaths.emplace_back();
        extrusion.kind = ir::lo::Extrude{region.kind};
        extrusion.path.points = points;
        extrusion.width_um = fill.width_um;
        previous_end = points.back();
      }
    }
  }
  return out;
}

} // namespace tolm::lower
