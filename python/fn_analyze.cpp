#include <optional>

#include "analyze/deposit_stats.h"
#include "analyze/program_stats.h"
#include "analyze/travel_collisions.h"
#include "analyze/volume_stats.h"
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "binding/report.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *program_stats(Call &call) {
  return program_report(call, [](json::Writer &writer, const ir::lo::Program &program) {
    analyze::write_program_stats(writer, analyze::program_stats(program));
  });
}

PyObject *travel_collisions(Call &call) {
  return program_report_at_resolution(call, [](json::Writer &writer, const ir::lo::Program &program,
                                               int64_t resolution_um) {
    analyze::write_travel_collisions(writer, analyze::travel_collisions(program, resolution_um));
  });
}

PyObject *deposit_stats(Call &call) {
  return program_report_at_resolution(
      call, [](json::Writer &writer, const ir::lo::Program &program, int64_t resolution_um) {
        analyze::write_deposit_stats(writer, analyze::deposit_stats(program, resolution_um));
      });
}

PyObject *volume_stats(Call &call) {
  std::string_view program_json;
  int64_t resolution_um;
  std::optional<int64_t> layer_height_um;
  if (!call.str(0, program_json) || !call.i64(1, resolution_um, 200) ||
      !call.optional_i64(2, layer_height_um))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  analyze::write_volume_stats(writer,
                              analyze::volume_stats(*program, resolution_um, layer_height_um));
  return to_str(writer.text());
}

} // namespace

TOLM_FUNCTION(program_stats, "program_stats(program_json)",
              "Size and efficiency stats for a program (JSON): layer and toolpath counts and "
              "total travel\n"
              "distance (an efficiency / print-time proxy).");
TOLM_FUNCTION(travel_collisions, "travel_collisions(program_json, resolution_um=200)",
              "Heuristic, report-only travel-vs-material check for a program (JSON): deposited "
              "cells each layer's\n"
              "travels pass through, a nozzle-drag / stringing proxy. Not exact collision "
              "detection.");
TOLM_FUNCTION(deposit_stats, "deposit_stats(program_json, resolution_um=200)",
              "Over-deposition stats for a program (JSON) at a resolution: over-deposited cell "
              "count, graded\n"
              "redeposition magnitude, and max multiplicity. Counts paths per cell, not filament "
              "volume.");
TOLM_FUNCTION(volume_stats, "volume_stats(program_json, resolution_um=200, layer_height_um=None)",
              "Deposited melt volume (mm³) of a program (JSON): total and per-layer. Moves with "
              "bead width, so it\n"
              "surfaces over-/under-extrusion that coverage and path-count miss (geometry only, "
              "not commanded\n"
              "flow). Layer height is derived from consecutive Z unless `layer_height_um` is "
              "given.");

} // namespace tolm::py
