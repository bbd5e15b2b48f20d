#include "frontend/gcode/diagnostics.h"

namespace tolm::frontend::gcode {
namespace {

void write_texts(json::Writer &writer, std::string_view name, const TextSet &texts) {
  writer.key(name);
  writer.begin_array();
  for (const std::string &text : texts)
    writer.value(std::string_view(text));
  writer.end_array();
}

} // namespace

void write_diagnostics(json::Writer &writer, const Diagnostics &d) {
  writer.begin_object();
  writer.member("lines", d.lines);
  writer.member("layers", d.layers);
  writer.member("extruding_toolpaths", d.extruding_toolpaths);
  writer.member("travel_toolpaths", d.travel_toolpaths);
  write_texts(writer, "unknown_roles", d.unknown_roles);
  writer.member("fallback_role_moves", d.fallback_role_moves);
  writer.member("estimated_width_moves", d.estimated_width_moves);
  writer.member("zero_length_extrudes", d.zero_length_extrudes);
  writer.member("arcs_flattened", d.arcs_flattened);
  writer.member("skipped_g91_moves", d.skipped_g91_moves);
  writer.member("overflow_skips", d.overflow_skips);
  write_texts(writer, "skipped_codes", d.skipped_codes);
  writer.end_object();
}

} // namespace tolm::frontend::gcode
