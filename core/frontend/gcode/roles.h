// Feature roles from slicer comments, and the bead width of each extrusion.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "frontend/gcode/diagnostics.h"

namespace tolm::frontend::gcode {

/// Role codes: 0 to 3 are the `RegionKind` ordinals, 4 is no role (and travel).
inline constexpr int kNoRole = 4;

/// Filament cross-section in mm² of 1.75 mm filament (π × 0.875²).
inline constexpr double kDefaultFilamentAreaMm2 = 2.405281875404685;

/// Width used when no width comment is active and the estimate fails.
inline constexpr int64_t kFallbackWidthUm = 400;

/// The role and width state that comments and M200 set and extruding moves read.
struct RoleState {
  /// Text of the last role comment or tag (a view into the G-code text).
  std::optional<std::string_view> role_tag;
  int role = kNoRole;
  /// Whether `role` came from a recognised tag or comment.
  bool role_known = false;
  /// Last bead width from a width comment.
  std::optional<int64_t> width_um;
  /// Last layer height from a height comment.
  std::optional<double> layer_height_mm;
  double filament_area_mm2 = kDefaultFilamentAreaMm2;
  /// E values are volumes in mm³ (M200 with a positive diameter).
  bool volumetric_e = false;
};

/// The role of a ";TYPE:" / "; FEATURE:" tag (already trimmed), or none when not recognised.
std::optional<int> tag_role(std::string_view tag);

/// Sets the role state from a tag: a recognised tag gives its role, any other role 0, unknown.
void apply_tag(RoleState &state, std::string_view tag);

/// What a comment that is not a marker says about the role.
struct BareRole {
  enum class Outcome : uint8_t {
    NotRole, ///< not a role comment: nothing changes
    Neutral, ///< a feature without a role (skirt, brim, prime pillar)
    Role,    ///< a feature with the role `role`
  };
  Outcome outcome = Outcome::NotRole;
  int role = kNoRole;
  /// The text recorded as the role tag.
  std::string_view tag;
};

/// Recognises a bare comment ("; perimeter") or a quoted path name ("; 'Loop Path', ...").
/// `comment` starts at its ";".
BareRole bare_role(std::string_view comment);

/// Applies `bare_role(comment)` to the state.
void apply_bare_comment(RoleState &state, std::string_view comment);

/// The role of one extruding move: the known role, or `Perimeter` (0) counted as a fallback
/// with the active tag (or "<no ;TYPE:>") recorded in `unknown_roles`.
int consume_role(const RoleState &state, Diagnostics &diagnostics);

/// The bead width of one extruding move in µm: the active width comment, or an estimate from the
/// extruded volume over (length × layer height), counted in `estimated_width_moves`.
int64_t width_for(const RoleState &state, Diagnostics &diagnostics, double de, double length_mm);

} // namespace tolm::frontend::gcode
