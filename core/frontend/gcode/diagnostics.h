// What the G-code parser counted while reading: every degradation has its own counter.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "json/writer.h"

namespace tolm::frontend::gcode {

/// An ordered set of texts in ascending byte order, searchable by string_view.
using TextSet = std::set<std::string, std::less<>>;

/// The parser's counters, in their JSON member order.
struct Diagnostics {
  /// Pieces of the text split at every line feed (an empty text counts 1).
  uint64_t lines = 0;
  uint64_t layers = 0;
  uint64_t extruding_toolpaths = 0;
  uint64_t travel_toolpaths = 0;
  /// Role tags that were not recognised when an extrusion needed a role ("<no ;TYPE:>" when
  /// no tag was active).
  TextSet unknown_roles;
  /// Extruding moves (or arcs) that got the fallback role `Perimeter`.
  uint64_t fallback_role_moves = 0;
  /// Extruding moves (or arcs) whose bead width was estimated.
  uint64_t estimated_width_moves = 0;
  /// Moves that extruded without moving in the plane.
  uint64_t zero_length_extrudes = 0;
  /// G2/G3 moves processed, including those that became straight segments.
  uint64_t arcs_flattened = 0;
  /// G0 to G3 moves ignored under relative positioning (G91).
  uint64_t skipped_g91_moves = 0;
  /// Moves ignored because a coordinate did not convert to microns.
  uint64_t overflow_skips = 0;
  /// Unhandled commands as letter and code ("G28", "M104", "T0").
  TextSet skipped_codes;

  friend bool operator==(const Diagnostics &, const Diagnostics &) = default;
};

/// Writes the diagnostics as a JSON object with the twelve members in field order.
void write_diagnostics(json::Writer &writer, const Diagnostics &diagnostics);

} // namespace tolm::frontend::gcode
