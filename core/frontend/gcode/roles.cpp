#include "frontend/gcode/roles.h"

#include <array>
#include <cmath>
#include <utility>

namespace tolm::frontend::gcode {
namespace {

constexpr int kPerimeter = 0;
constexpr int kInfill = 1;
constexpr int kSkin = 2;
constexpr int kSupport = 3;
constexpr int kNeutral = -1;

using Entry = std::pair<std::string_view, int>;

constexpr std::array kTags = {
    Entry{"Perimeter", kPerimeter},
    Entry{"External perimeter", kPerimeter},
    Entry{"Overhang perimeter", kPerimeter},
    Entry{"Overhang wall", kPerimeter},
    Entry{"Inner wall", kPerimeter},
    Entry{"Outer wall", kPerimeter},
    Entry{"WALL-OUTER", kPerimeter},
    Entry{"WALL-INNER", kPerimeter},
    Entry{"Floating vertical shell", kPerimeter},
    Entry{"Floating interface shell", kPerimeter},
    Entry{"Internal infill", kInfill},
    Entry{"Sparse infill", kInfill},
    Entry{"Gap fill", kInfill},
    Entry{"Gap infill", kInfill},
    Entry{"GAP-FILL", kInfill},
    Entry{"FILL", kInfill},
    Entry{"Solid infill", kSkin},
    Entry{"Internal solid infill", kSkin},
    Entry{"Top solid infill", kSkin},
    Entry{"Top surface", kSkin},
    Entry{"Bottom surface", kSkin},
    Entry{"Bridge infill", kSkin},
    Entry{"Internal Bridge", kSkin},
    Entry{"Bridge", kSkin},
    Entry{"BRIDGE", kSkin},
    Entry{"SKIN", kSkin},
    Entry{"SOLID-FILL", kSkin},
    Entry{"Ironing", kSkin},
    Entry{"Support", kSupport},
    Entry{"SUPPORT", kSupport},
    Entry{"Support material", kSupport},
    Entry{"Support material interface", kSupport},
    Entry{"Support interface", kSupport},
    Entry{"SUPPORT-INTERFACE", kSupport},
    Entry{"Support transition", kSupport},
};

constexpr std::array kBareComments = {
    Entry{"; perimeter", kPerimeter},
    Entry{"; external perimeter", kPerimeter},
    Entry{"; overhang perimeter", kPerimeter},
    Entry{"; outer perimeter", kPerimeter},
    Entry{"; inner perimeter", kPerimeter},
    Entry{"; infill", kInfill},
    Entry{"; internal infill", kInfill},
    Entry{"; sparse infill", kInfill},
    Entry{"; solid infill", kSkin},
    Entry{"; solid layer", kSkin},
    Entry{"; top infill", kSkin},
    Entry{"; top solid infill", kSkin},
    Entry{"; bridge", kSkin},
    Entry{"; bridge infill", kSkin},
    Entry{"; support", kSupport},
    Entry{"; dense support", kSupport},
    Entry{"; support material", kSupport},
    Entry{"; support material interface", kSupport},
    Entry{"; brim", kNeutral},
    Entry{"; skirt", kNeutral},
    Entry{"; prime pillar", kNeutral},
};

constexpr std::array kQuotedPaths = {
    Entry{"Perimeter", kPerimeter},
    Entry{"Loop", kPerimeter},
    Entry{"Crown", kPerimeter},
    Entry{"Solid", kSkin},
    Entry{"Infill", kInfill},
    Entry{"Sparse Infill", kInfill},
    Entry{"Stacked Sparse Infill", kInfill},
    Entry{"Support", kSupport},
    Entry{"Support Interface", kSupport},
};

template <size_t N>
std::optional<int> lookup(const std::array<Entry, N> &table, std::string_view text) {
  for (const Entry &entry : table)
    if (entry.first == text)
      return entry.second;
  return std::nullopt;
}

constexpr std::string_view kNoTag = "<no ;TYPE:>";

} // namespace

std::optional<int> tag_role(std::string_view tag) { return lookup(kTags, tag); }

void apply_tag(RoleState &state, std::string_view tag) {
  state.role_tag = tag;
  std::optional<int> role = tag_role(tag);
  state.role = role.value_or(kPerimeter);
  state.role_known = role.has_value();
}

BareRole bare_role(std::string_view comment) {
  BareRole result;
  std::optional<int> found;
  bool quoted = comment.starts_with("; '");
  if (quoted) {
    std::string_view name = comment.substr(3);
    name = name.substr(0, name.find('\''));
    result.tag = name;
    if (name.ends_with(" Path"))
      name.remove_suffix(5);
    found = lookup(kQuotedPaths, name).value_or(kNeutral);
  } else {
    if (!comment.starts_with("; "))
      return result;
    found = lookup(kBareComments, comment);
    if (!found)
      return result;
  }
  if (!quoted || comment.size() < 6) {
    std::string_view tag = comment;
    while (tag.starts_with("; "))
      tag.remove_prefix(2);
    result.tag = tag;
  }
  if (*found == kNeutral) {
    result.outcome = BareRole::Outcome::Neutral;
  } else {
    result.outcome = BareRole::Outcome::Role;
    result.role = *found;
  }
  return result;
}

void apply_bare_comment(RoleState &state, std::string_view comment) {
  BareRole bare = bare_role(comment);
  switch (bare.outcome) {
  case BareRole::Outcome::NotRole:
    return;
  case BareRole::Outcome::Neutral:
    state.role_tag = bare.tag;
    state.role = kPerimeter;
    state.role_known = false;
    return;
  case BareRole::Outcome::Role:
    state.role_tag = bare.tag;
    state.role = bare.role;
    state.role_known = true;
    return;
  }
}

int consume_role(const RoleState &state, Diagnostics &diagnostics) {
  if (state.role != kNoRole && state.role_known)
    return state.role;
  ++diagnostics.fallback_role_moves;
  std::string_view tag = state.role_tag.value_or(kNoTag);
  if (!diagnostics.unknown_roles.contains(tag))
    diagnostics.unknown_roles.emplace(tag);
  return kPerimeter;
}

int64_t width_for(const RoleState &state, Diagnostics &diagnostics, double de, double length_mm) {
  if (state.width_um)
    return *state.width_um;
  ++diagnostics.estimated_width_moves;
  double h = state.layer_height_mm.value_or(0.0);
  if (!(de > 0) || !(length_mm > 0) || !(h > 0))
    return kFallbackWidthUm;
  double c = state.volumetric_e ? 1.0 : state.filament_area_mm2;
  double w = std::round((de * c) / (length_mm * h) * 1000.0);
  if (std::isfinite(w) && std::fabs(w) < 9e18 && w > 0)
    return static_cast<int64_t>(w);
  return kFallbackWidthUm;
}

} // namespace tolm::frontend::gcode
