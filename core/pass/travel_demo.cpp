#include "pass/travel_demo.h"

#include <cmath>

#include "denote/occupancy.h"
#include "ir/hi.h"
#include "lower/lower.h"
#include "pass/pass.h"

namespace tolm::pass {

double travel_length_um(const ir::lo::Program &program) {
  double total = 0.0;
  for (const ir::lo::Layer &layer : program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      if (!ir::lo::is_travel(toolpath))
        continue;
      const std::vector<ir::Point> &points = toolpath.path.points;
      for (size_t k = 0; k + 1 < points.size(); ++k) {
        const double dx = static_cast<double>(points[k + 1].x) - static_cast<double>(points[k].x);
        const double dy = static_cast<double>(points[k + 1].y) - static_cast<double>(points[k].y);
        total += std::sqrt(dx * dx + dy * dy);
      }
    }
  return total;
}

TravelDemo demo_travel_order(int64_t resolution_um) {
  ir::hi::Region region;
  region.kind = ir::RegionKind::Infill;
  for (int64_t x : {0, 8000, 2000, 6000, 4000})
    region.fills.push_back(ir::ExtrudePath{ir::Polyline{{{x, 0}, {x + 100, 0}}}, 400});
  ir::hi::Program demo;
  demo.layers.push_back(ir::hi::Layer{200, {std::move(region)}});

  const ir::lo::Program lowered = lower::lower(demo);
  const ir::lo::Program reordered = run(Pass{TravelOrder{{0, 0}, true}}, lowered);
  TravelDemo out;
  out.travel_before_mm = travel_length_um(lowered) / 1000.0;
  out.travel_after_mm = travel_length_um(reordered) / 1000.0;
  out.sound =
      denote::denote_lo(lowered, resolution_um) == denote::denote_lo(reordered, resolution_um);
  return out;
}

} // namespace tolm::pass
