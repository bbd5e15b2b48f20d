// The emitter's settings.
#pragma once

#include <cstdint>

namespace tolm::backend {

struct EmitSettings {
  /// Filament diameter; its cross-section converts bead volume to filament length.
  double filament_diameter_mm = 1.75;
  /// Filament pulled back before a travel and pushed forward before the next extrusion; 0 or
  /// less disables retraction.
  double retract_mm = 0.8;
  /// Feed rate written on every travel move; 0 or less writes none.
  int64_t travel_feed_mm_min = 9000;
  /// Feed rate written on the first extrusion move of each toolpath; 0 or less writes none.
  int64_t print_feed_mm_min = 1800;

  /// The settings every caller of this system uses: 1.75 mm filament, 0.8 mm retraction,
  /// travel feed 9000 and print feed 1800 mm/min.
  static EmitSettings standard() { return EmitSettings{1.75, 0.8, 9000, 1800}; }
};

} // namespace tolm::backend
