// Geometry shared by both program levels: integer-micron points and paths.
#pragma once

#include <cstdint>
#include <vector>

namespace tolm::ir {

/// A point in the build plane, in integer microns.
struct Point {
  int64_t x = 0;
  int64_t y = 0;
  friend bool operator==(const Point &, const Point &) = default;
};

/// Vertices in path order; a closed path repeats its first point as its last.
struct Polyline {
  std::vector<Point> points;
  friend bool operator==(const Polyline &, const Polyline &) = default;
};

/// An outline with holes.
struct Area {
  Polyline outer;
  std::vector<Polyline> holes;
  friend bool operator==(const Area &, const Area &) = default;
};

/// The centre line of one extrusion and its bead width.
struct ExtrudePath {
  Polyline path;
  int64_t width_um = 0;
  friend bool operator==(const ExtrudePath &, const ExtrudePath &) = default;
};

/// The role of deposited material; the numeric value is the role's ordinal.
enum class RegionKind : uint8_t { Perimeter = 0, Infill = 1, Skin = 2, Support = 3 };

inline constexpr const char *region_kind_name(RegionKind kind) {
  switch (kind) {
  case RegionKind::Perimeter:
    return "Perimeter";
  case RegionKind::Infill:
    return "Infill";
  case RegionKind::Skin:
    return "Skin";
  case RegionKind::Support:
    return "Support";
  }
  return "Perimeter";
}

} // namespace tolm::ir
