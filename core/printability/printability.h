// The printability verdict: bounds, minimum layer time and travel collisions against a profile.
#pragma once

#include <cstdint>

#include "ir/lo.h"
#include "kinematics/machine_profile.h"

namespace tolm::json {
class Writer;
}

namespace tolm::printability {

struct Printability {
  /// True exactly when the three counts are 0.
  bool printable = true;
  /// Points outside the printable volume (a repeated point counts each time).
  uint64_t out_of_bounds_points = 0;
  /// Layers strictly faster than `min_layer_time_s`.
  uint64_t layers_below_min_time = 0;
  /// The profile's minimum layer time, raised to 0.
  double min_layer_time_s = 0.0;
  /// The shortest layer time; 0.0 without layers.
  double fastest_layer_s = 0.0;
  /// The total of the travel-collision report.
  uint64_t travel_collisions = 0;
  /// The resolution of the travel check, at least 1.
  int64_t resolution_um = 1;
};

/// Points of the program outside the bed rectangle (bounds inclusive), or every point of a
/// layer whose Z is below 0 or above the profile's highest Z.
uint64_t out_of_bounds_points(const ir::lo::Program &program,
                              const kinematics::MachineProfile &profile);

Printability is_printable(const ir::lo::Program &program, const kinematics::MachineProfile &profile,
                          int64_t resolution_um);

void write_printability(json::Writer &writer, const Printability &verdict);

} // namespace tolm::printability
