#include "printability/printability.h"

#include <algorithm>

#include "analyze/travel_collisions.h"
#include "denote/cells.h"
#include "kinematics/print_time.h"
#include "json/writer.h"

namespace tolm::printability {

uint64_t out_of_bounds_points(const ir::lo::Program &program,
                              const kinematics::MachineProfile &profile) {
  const kinematics::PairUm lo = profile.bed_min_um, hi = profile.bed_max_um;
  uint64_t count = 0;
  for (const ir::lo::Layer &layer : program.layers) {
    const bool z_outside = layer.z_um < 0 || layer.z_um > profile.max_z_um;
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      const auto &points = toolpath.path.points;
      if (z_outside) {
        count += points.size();
        continue;
      }
      for (const ir::Point &p : points)
        if (p.x < lo.x || p.x > hi.x || p.y < lo.y || p.y > hi.y)
          ++count;
    }
  }
  return count;
}

Printability is_printable(const ir::lo::Program &program, const kinematics::MachineProfile &profile,
                          int64_t resolution_um) {
  Printability verdict;
  verdict.out_of_bounds_points = out_of_bounds_points(program, profile);

  const double minimum = std::max(profile.min_layer_time_s, 0.0);
  {
    const kinematics::PrintTime time = kinematics::print_time(program, profile);
    if (minimum > 0)
      for (const kinematics::LayerTime &layer : time.per_layer_s)
        if (layer.seconds < minimum)
          ++verdict.layers_below_min_time;
    verdict.fastest_layer_s = time.min_layer_s;
  }
  verdict.min_layer_time_s = minimum;

  verdict.travel_collisions = analyze::travel_collisions(program, resolution_um).total;
  verdict.resolution_um = denote::effective_resolution(resolution_um);
  verdict.printable = verdict.out_of_bounds_points == 0 && verdict.layers_below_min_time == 0 &&
                      verdict.travel_collisions == 0;
  return verdict;
}

void write_printability(json::Writer &writer, const Printability &verdict) {
  writer.begin_object();
  writer.member("printable", verdict.printable);
  writer.member("out_of_bounds_points", verdict.out_of_bounds_points);
  writer.member("layers_below_min_time", verdict.layers_below_min_time);
  writer.member("min_layer_time_s", verdict.min_layer_time_s);
  writer.member("fastest_layer_s", verdict.fastest_layer_s);
  writer.member("travel_collisions", verdict.travel_collisions);
  writer.member("resolution_um", verdict.resolution_um);
  writer.end_object();
}

} // namespace tolm::printability
