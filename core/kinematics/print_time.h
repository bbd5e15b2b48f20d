// Kinematic print time: every toolpath is driven as straight segments with a trapezoidal
// velocity profile under constant acceleration, cornering speeds bounded by junction deviation.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ir/lo.h"
#include "kinematics/machine_profile.h"

namespace tolm::json {
class Writer;
}

namespace tolm::kinematics {

/// One layer's time.
struct LayerTime {
  int64_t z_um = 0;
  double seconds = 0.0;
};

struct PrintTime {
  /// print_move_s + travel_move_s.
  double total_s = 0.0;
  /// One entry per layer, in program order.
  std::vector<LayerTime> per_layer_s;
  /// The smallest layer time; 0.0 without layers.
  double min_layer_s = 0.0;
  /// Total time of extrusion toolpaths.
  double print_move_s = 0.0;
  /// Total time of travel toolpaths.
  double travel_move_s = 0.0;
};

/// Reusable per-toolpath working memory (segment lengths and vertex speed limits).
struct Scratch {
  std::vector<double> lengths_mm;
  std::vector<double> limits_mm_s;
};

/// The time of one path driven at cruise speed `speed_mm_s`, starting and ending at rest.
double path_time_s(std::span<const ir::Point> points, double speed_mm_s,
                   const MachineProfile &profile, Scratch &scratch);

/// The time of one toolpath: travels at the travel speed, extrusions at the print speed.
double toolpath_time_s(const ir::lo::Toolpath &toolpath, const MachineProfile &profile,
                       Scratch &scratch);

/// The print time of a whole program; toolpaths are independent (each starts and ends at rest).
PrintTime print_time(const ir::lo::Program &program, const MachineProfile &profile);

/// Writes {"total_s", "per_layer_s": [[z_um, s], ...], "min_layer_s", "print_move_s",
/// "travel_move_s"}.
void write_print_time(json::Writer &writer, const PrintTime &time);

} // namespace tolm::kinematics
