#include "lower/demo_square.h"

#include <cmath>

#include "util/numeric.h"

namespace tolm::lower {

namespace {

constexpr int64_t kDemoWidth_um = 400;

int64_t truncated_um(double mm) { return saturating_i64(std::trunc(mm * 1000.0)); }

} // namespace

ir::hi::Program demo_square(double side_mm, double z_mm) {
  const int64_t side_um = truncated_um(side_mm);
  const std::vector<ir::Point> square = {
      {0, 0}, {side_um, 0}, {side_um, side_um}, {0, side_um}, {0, 0}};

  ir::hi::Region region;
  region.kind = ir::RegionKind::Perimeter;
  region.boundary.outer.points = square;
  region.fills.push_back(ir::ExtrudePath{ir::Polyline{square}, kDemoWidth_um});

  ir::hi::Layer layer;
  layer.z_um = truncated_um(z_mm);
  layer.regions.push_back(std::move(region));

  ir::hi::Program program;
  program.layers.push_back(std::move(layer));
  return program;
}

} // namespace tolm::lower
