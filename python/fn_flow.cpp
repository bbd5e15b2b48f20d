#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "binding/report.h"
#include "flow/flow.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *denote_flow(Call &call) {
  return program_report_at_resolution(
      call, [](json::Writer &writer, const ir::lo::Program &program, int64_t resolution_um) {
        flow::write_flow(writer, flow::denote_lo_flow(program, resolution_um));
      });
}

PyObject *flow_stats(Call &call) {
  return program_report(call, [](json::Writer &writer, const ir::lo::Program &program) {
    flow::write_flow_stats(writer, flow::flow_stats(program));
  });
}

PyObject *e_conserved(Call &call) {
  std::string_view a_json, b_json;
  double tolerance_mm;
  if (!call.str(0, a_json) || !call.str(1, b_json) || !call.f64(2, tolerance_mm, 1e-6))
    return nullptr;
  auto a = parse_lo(a_json);
  if (!a)
    return nullptr;
  auto b = parse_lo(b_json);
  if (!b)
    return nullptr;
  return to_bool(flow::e_conserved_report(*a, *b, tolerance_mm).conserved);
}

} // namespace

TOLM_FUNCTION(denote_flow, "denote_flow(program_json, resolution_um=200)",
              "Per-cell commanded flow (mm of E) of a program (JSON), at a resolution — the flow "
              "analogue of the\n"
              "occupancy denotation. Empty when no toolpath specifies E. Serialized as `[[x, y, "
              "e], ...]` per layer.");
TOLM_FUNCTION(flow_stats, "flow_stats(program_json)",
              "Commanded-flow (E) stats for a program (JSON): total, per-layer, and how many "
              "extruding toolpaths\n"
              "actually specify flow.");
TOLM_FUNCTION(e_conserved, "e_conserved(a_json, b_json, tolerance_mm=1e-06)",
              "Whether two programs (JSON) conserve commanded E within `tolerance_mm` (total and "
              "per layer).");

} // namespace tolm::py
