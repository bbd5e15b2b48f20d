// Flattening G2/G3 arcs into integer-micron polylines with a fixed chord error.
#pragma once

#include <optional>
#include <vector>

#include "ir/geometry.h"

namespace tolm::frontend::gcode {

/// A point in microns with double coordinates (arc centres).
struct PointF {
  double x = 0;
  double y = 0;
};

/// Largest distance between an arc and its chords, in µm.
inline constexpr double kChordToleranceUm = 20.0;
/// Most chords one arc is cut into.
inline constexpr int64_t kMaxArcChords = 4096;
/// Sweeps at or below this (radians) are taken as a full turn.
inline constexpr double kZeroSweepRad = 1e-9;

/// The centre of an arc given by its signed radius `r_um` (R form): positive R gives the short
/// arc, negative R the long one. None when r is not finite, start and end are closer than 1 µm,
/// or the chord is longer than the diameter.
std::optional<PointF> arc_center_from_r(double r_um, ir::Point start, ir::Point end,
                                        bool clockwise);

/// Appends the arc's points after `start` to `out`, ending with `end` itself (at least one
/// point). An end equal to the start in angle is a full circle.
void append_arc(ir::Point start, ir::Point end, PointF centre, bool clockwise,
                std::vector<ir::Point> &out);

/// The arc's points after `start`, ending with `end`.
std::vector<ir::Point> flatten_arc(ir::Point start, ir::Point end, PointF centre, bool clockwise);

/// Length in mm of the path from `start` through `points`.
double polyline_len_mm(ir::Point start, const std::vector<ir::Point> &points);

} // namespace tolm::frontend::gcode
