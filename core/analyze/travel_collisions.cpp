#include "analyze/travel_collisions.h"

#include <algorithm>

#include "util/numeric.h"
#include "json/writer.h"

namespace tolm::analyze {

uint64_t crossed_cells(const ir::lo::Layer &layer, const denote::LayerOccupancy &occupancy,
                       int64_t res) {
  const denote::CellSet &occupied = occupancy.cells;
  if (occupied.empty())
    return 0;
  uint64_t crossed = 0;
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
    const auto &points = toolpath.path.points;
    if (!ir::lo::is_travel(toolpath) || points.size() < 2)
      continue;
    const denote::Cell start{floor_div(points.front().x, res), floor_div(points.front().y, res)};
    const denote::Cell end{floor_div(points.back().x, res), floor_div(points.back().y, res)};
    const denote::CellSet cells = denote::path_cells(points, 0, res);
    // Both sets are ordered, so the search window only moves forward.
    auto from = occupied.begin();
    for (const denote::Cell &cell : cells) {
      from = std::lower_bound(from, occupied.end(), cell);
      if (from == occupied.end())
        break;
      if (*from == cell && cell != start && cell != end)
        ++crossed;
    }
  }
  return crossed;
}

TravelCollisions travel_collisions(const ir::lo::Program &program, int64_t resolution_um) {
  TravelCollisions report;
  const int64_t res = denote::effective_resolution(resolution_um);
  report.resolution_um = res;
  const denote::Occupancy occupancy = denote::denote_lo(program, res);
  report.per_layer.reserve(program.layers.size());
  for (size_t index = 0; index < program.layers.size(); ++index) {
    const ir::lo::Layer &layer = program.layers[index];
    const uint64_t crossed = crossed_cells(layer, occupancy.layers[index], res);
    report.per_layer.push_back(LayerCollisions{layer.z_um, crossed});
    report.total += crossed;
  }
  return report;
}

void write_travel_collisions(json::Writer &writer, const TravelCollisions &report) {
  writer.begin_object();
  writer.member("resolution_um", report.resolution_um);
  writer.member("total", report.total);
  writer.key("per_layer");
  writer.begin_array();
  for (const LayerCollisions &layer : report.per_layer) {
    writer.begin_object();
    writer.member("z_um", layer.z_um);
    writer.member("crossed_cells", layer.crossed_cells);
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::analyze
