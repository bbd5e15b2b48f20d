#include "feature/feature_matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolm::feature {

FeatureMatrix toolpath_feature_matrix(const ir::lo::Program &program) {
  FeatureMatrix matrix;
  size_t rows = 0;
  for (const ir::lo::Layer &layer : program.layers)
    rows += layer.toolpaths.size();
  matrix.rows = rows;
  matrix.values.reserve(rows * kFeatureColumns);

  for (size_t layer_index = 0; layer_index < program.layers.size(); ++layer_index) {
    const ir::lo::Layer &layer = program.layers[layer_index];
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      const auto &points = toolpath.path.points;
      double min_x = 0.0, min_y = 0.0, max_x = 0.0, max_y = 0.0;
      double start_x = 0.0, start_y = 0.0, end_x = 0.0, end_y = 0.0;
      double length = -0.0;
      if (!points.empty()) {
        int64_t lo_x = points[0].x, hi_x = points[0].x, lo_y = points[0].y, hi_y = points[0].y;
        double px = static_cast<double>(points[0].x), py = static_cast<double>(points[0].y);
        for (size_t k = 1; k < points.size(); ++k) {
          const ir::Point p = points[k];
          lo_x = std::min(lo_x, p.x);
          hi_x = std::max(hi_x, p.x);
          lo_y = std::min(lo_y, p.y);
          hi_y = std::max(hi_y, p.y);
          const double x = static_cast<double>(p.x), y = static_cast<double>(p.y);
          const double dx = x - px, dy = y - py;
          length += std::sqrt(dy * dy + dx * dx);
          px = x;
          py = y;
        }
        min_x = static_cast<double>(lo_x);
        min_y = static_cast<double>(lo_y);
        max_x = static_cast<double>(hi_x);
        max_y = static_cast<double>(hi_y);
        start_x = static_cast<double>(points.front().x);
        start_y = static_cast<double>(points.front().y);
        end_x = static_cast<double>(points.back().x);
        end_y = static_cast<double>(points.back().y);
      }
      const bool extrude = ir::lo::is_extrude(toolpath);
      const double role_tag =
          extrude ? static_cast<double>(static_cast<int>(ir::lo::role_of(toolpath)) + 1) : 0.0;
      const double flow =
          toolpath.flow_e ? *toolpath.flow_e : std::numeric_limits<double>::quiet_NaN();
      const double row[kFeatureColumns] = {
          static_cast<double>(layer_index),
          static_cast<double>(layer.z_um),
          extrude ? 1.0 : 0.0,
          role_tag,
          static_cast<double>(toolpath.width_um),
          length,
          min_x,
          min_y,
          max_x,
          max_y,
          start_x,
          start_y,
          end_x,
          end_y,
          static_cast<double>(points.size()),
          flow,
      };
      matrix.values.insert(matrix.values.end(), row, row + kFeatureColumns);
    }
  }
  return matrix;
}

} // namespace tolm::feature
