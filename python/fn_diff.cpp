// Module functions of the material diffs.
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "diff/gcode_diff.h"
#include "diff/graded.h"
#include "diff/iou.h"
#include "ir/json_io.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *diff_programs(Call &call) {
  std::string_view a_json, b_json;
  int64_t resolution_um;
  if (!call.str(0, a_json) || !call.str(1, b_json) || !call.i64(2, resolution_um, 200))
    return nullptr;
  auto a = ir::read_lo_program(a_json);
  if (!a)
    return raise_read_error("invalid low-level program JSON (a): ", a.error());
  auto b = ir::read_lo_program(b_json);
  if (!b)
    return raise_read_error("invalid low-level program JSON (b): ", b.error());
  json::Writer writer;
  diff::write_gcode_diff(writer, diff::diff_programs(*a, *b, resolution_um));
  return to_str(writer.text());
}

PyObject *graded_diff(Call &call) {
  std::string_view a_json, b_json;
  int64_t resolution_um;
  if (!call.str(0, a_json) || !call.str(1, b_json) || !call.i64(2, resolution_um, 200))
    return nullptr;
  auto a = parse_lo(a_json);
  if (!a)
    return nullptr;
  auto b = parse_lo(b_json);
  if (!b)
    return nullptr;
  json::Writer writer;
  diff::write_graded_diff(writer, diff::graded_diff_programs(*a, *b, resolution_um));
  return to_str(writer.text());
}

PyObject *diff_gcode(Call &call) {
  std::string_view a, b;
  int64_t resolution_um;
  if (!call.str(0, a) || !call.str(1, b) || !call.i64(2, resolution_um, 200))
    return nullptr;
  json::Writer writer;
  diff::write_gcode_diff(writer, diff::diff_gcode(a, b, resolution_um));
  return to_str(writer.text());
}

PyObject *graded_diff_gcode(Call &call) {
  std::string_view a, b;
  int64_t resolution_um;
  if (!call.str(0, a) || !call.str(1, b) || !call.i64(2, resolution_um, 200))
    return nullptr;
  json::Writer writer;
  diff::write_graded_diff(writer, diff::graded_diff_gcode(a, b, resolution_um));
  return to_str(writer.text());
}

} // namespace

TOLM_FUNCTION(diff_gcode, "diff_gcode(a, b, resolution_um=200)",
              "Compare two G-code files by the material they deposit (matched by layer height). "
              "Returns a JSON\n"
              "report (per-layer differences, totals, identical flag).");

TOLM_FUNCTION(
    diff_programs, "diff_programs(a_json, b_json, resolution_um=200)",
    "Compare two low-level programs (JSON, as from `lower_to_json`) by the material they deposit.\n"
    "Returns a JSON report including a scalar `iou` similarity (1.0 identical, 0.0 disjoint, null "
    "if\n"
    "both empty) and a per-layer breakdown. General-purpose: regression tests, optimizer/agent "
    "scoring,\n"
    "or comparing any two move plans without going through G-code text.");

TOLM_FUNCTION(graded_diff, "graded_diff(a_json, b_json, resolution_um=200)",
              "Graded (distance-based) difference of two LOW-LEVEL programs (JSON): for each cell "
              "one deposits\n"
              "and the other does not, the Euclidean distance (microns) to the nearest cell of the "
              "other, as\n"
              "mean/p95/max per layer and overall. Unlike IoU it stays informative when the two "
              "are disjoint (a\n"
              "near miss scores small) \u2014 a smooth reward signal and the basis for "
              "rotation-aware comparison.");

TOLM_FUNCTION(graded_diff_gcode, "graded_diff_gcode(a, b, resolution_um=200)",
              "Graded (distance-based) difference of two G-code files. See `graded_diff`.");

} // namespace tolm::py
