#include "analyze/program_stats.h"

#include <cmath>

#include "json/writer.h"

namespace tolm::analyze {

double path_length_um(const ir::Polyline &path) {
  double length = -0.0;
  const auto &points = path.points;
  for (size_t k = 1; k < points.size(); ++k) {
    const double dx = static_cast<double>(points[k].x) - static_cast<double>(points[k - 1].x);
    const double dy = static_cast<double>(points[k].y) - static_cast<double>(points[k - 1].y);
    length += std::sqrt(dy * dy + dx * dx);
  }
  return length;
}

ProgramStats program_stats(const ir::lo::Program &program) {
  ProgramStats stats;
  stats.layers = program.layers.size();
  for (const ir::lo::Layer &layer : program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      if (ir::lo::is_travel(toolpath)) {
        ++stats.travel_toolpaths;
        stats.travel_distance_um += path_length_um(toolpath.path);
      } else {
        ++stats.extruding_toolpaths;
      }
    }
  return stats;
}

void write_program_stats(json::Writer &writer, const ProgramStats &stats) {
  writer.begin_object();
  writer.member("layers", stats.layers);
  writer.member("extruding_toolpaths", stats.extruding_toolpaths);
  writer.member("travel_toolpaths", stats.travel_toolpaths);
  writer.member("travel_distance_um", stats.travel_distance_um);
  writer.end_object();
}

} // namespace tolm::analyze
