// End-to-end verification: parsed slicer G-code through the travel-order pass, and a plan
// through emission and re-parsing, both judged by occupancy and deposit multiplicity.
#pragma once

#include <cstdint>
#include <string_view>

#include "frontend/gcode/diagnostics.h"
#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::verify {

struct GcodeVerification {
  frontend::gcode::Diagnostics diagnostics;
  /// The resolution argument as given.
  int64_t resolution_um = 0;
  /// Whether the parser found any extruding toolpath.
  bool has_geometry = false;
  /// The pass output's per-layer occupancy equals the parsed plan's.
  bool pass_preserves_denotation = false;
  /// The pass output's per-layer deposit multiplicity equals the parsed plan's.
  bool pass_preserves_deposit = false;
  /// Shifting the parsed plan by (3, 5) cells shifts its occupancy by (3, 5) cells.
  bool translation_invariant = false;
};

struct RoundTrip {
  /// The resolution argument as given.
  int64_t resolution_um = 0;
  /// Whether the input plan has any extrusion toolpath.
  bool has_geometry = false;
  /// The re-parsed plan's per-layer occupancy equals the input's.
  bool occupancy_preserved = false;
  /// The re-parsed plan's per-layer deposit multiplicity equals the input's.
  bool deposit_preserved = false;
};

/// Parses the text, runs the travel-order pass (start (0, 0), reversal allowed) on the plan and
/// checks the pass and the rasterizer's translation invariance.
GcodeVerification verify_gcode(std::string_view gcode_text, int64_t resolution_um);

/// Emits the plan with the standard emitter settings, parses the text back and compares.
RoundTrip verify_roundtrip(const ir::lo::Program &program, int64_t resolution_um);

void write_gcode_verification(json::Writer &writer, const GcodeVerification &report);
void write_round_trip(json::Writer &writer, const RoundTrip &report);

} // namespace tolm::verify
