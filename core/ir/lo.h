// The low-level program (the move plan): layers of toolpaths, each an extrusion or a travel.
#pragma once

#include <optional>
#include <variant>

#include "ir/geometry.h"

namespace tolm::ir::lo {

/// Material laid down with a role.
struct Extrude {
  RegionKind role = RegionKind::Perimeter;
  friend bool operator==(const Extrude &, const Extrude &) = default;
};

/// A non-printing move.
struct Travel {
  friend bool operator==(const Travel &, const Travel &) = default;
};

using SegmentKind = std::variant<Extrude, Travel>;

struct Toolpath {
  SegmentKind kind = Travel{};
  Polyline path;
  int64_t width_um = 0;
  /// Commanded extrusion for the whole toolpath (mm of filament), when known.
  std::optional<double> flow_e;
  friend bool operator==(const Toolpath &, const Toolpath &) = default;
};

struct Layer {
  int64_t z_um = 0;
  std::vector<Toolpath> toolpaths;
  friend bool operator==(const Layer &, const Layer &) = default;
};

struct Program {
  std::vector<Layer> layers;
  friend bool operator==(const Program &, const Program &) = default;
};

inline bool is_extrude(const Toolpath &toolpath) {
  return std::holds_alternative<Extrude>(toolpath.kind);
}
inline bool is_travel(const Toolpath &toolpath) {
  return std::holds_alternative<Travel>(toolpath.kind);
}
/// The role of an extrusion toolpath (callers check `is_extrude` first).
inline RegionKind role_of(const Toolpath &toolpath) {
  return std::get<Extrude>(toolpath.kind).role;
}

} // namespace tolm::ir::lo
