#include "analyze/program_stats.h"
#include "analyze/travel_collisions.h"
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *program_stats(Call &call) {
  std::string_view program_json;
  if (!call.str(0, program_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  analyze::write_program_stats(writer, analyze::program_stats(*program));
  return to_str(writer.text());
}

PyObject *travel_collisions(Call &call) {
  std::string_view program_json;
  int64_t resolution_um;
  if (!call.str(0, program_json) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  analyze::write_travel_collisions(writer, analyze::travel_collisions(*program, resolution_um));
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

} // namespace tolm::py
