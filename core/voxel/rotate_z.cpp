#include "voxel/rotate_z.h"

#include <cmath>

#include "util/numeric.h"

namespace tolm::voxel {

ir::lo::Program rotate_z(const ir::lo::Program &program, double radians) {
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  ir::lo::Program out = program;
  for (ir::lo::Layer &layer : out.layers)
    for (ir::lo::Toolpath &toolpath : layer.toolpaths)
      for (ir::Point &p : toolpath.path.points) {
        const double x = static_cast<double>(p.x);
        const double y = static_cast<double>(p.y);
        p = ir::Point{saturating_i64(std::round(c * x - s * y)),
                      saturating_i64(std::round(s * x + c * y))};
      }
  return out;
}

} // namespace tolm::voxel
