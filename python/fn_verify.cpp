// Module functions of the soundness checks and the verification suite.
#include <exception>
#include <expected>
#include <vector>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "binding/report.h"
#include "lower/demo_square.h"
#include "pass/travel_demo.h"
#include "verify/batch.h"
#include "verify/checks.h"
#include "verify/suite.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *check_self_lowering_sound(Call &call) {
  std::string_view hi_json;
  int64_t resolution_um;
  if (!call.str(0, hi_json) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto program = parse_hi(hi_json);
  if (!program)
    return nullptr;
  return to_bool(verify::self_lowering_sound(*program, resolution_um));
}

PyObject *demo_self_lowering_sound(Call &call) {
  double side_mm, z_mm;
  int64_t resolution_um;
  if (!call.f64(0, side_mm, 20.0) || !call.f64(1, z_mm, 0.2) || !call.i64(2, resolution_um, 200))
    return nullptr;
  return to_bool(verify::self_lowering_sound(lower::demo_square(side_mm, z_mm), resolution_um));
}

PyObject *demo_travel_order(Call &call) {
  int64_t resolution_um;
  if (!call.i64(0, resolution_um, 200))
    return nullptr;
  const pass::TravelDemo demo = pass::demo_travel_order(resolution_um);
  return to_tuple(
      {to_bool(demo.sound), to_float(demo.travel_before_mm), to_float(demo.travel_after_mm)});
}

PyObject *verify_gcode(Call &call) {
  std::string_view gcode;
  int64_t resolution_um;
  if (!call.str(0, gcode) || !call.i64(1, resolution_um, 200))
    return nullptr;
  json::Writer writer;
  verify::write_gcode_verification(writer, verify::verify_gcode(gcode, resolution_um));
  return to_str(writer.text());
}

PyObject *verify_roundtrip(Call &call) {
  return program_report_at_resolution(
      call, [](json::Writer &writer, const ir::lo::Program &program, int64_t resolution_um) {
        verify::write_round_trip(writer, verify::verify_roundtrip(program, resolution_um));
      });
}

PyObject *preserves_within(Call &call) {
  std::string_view a_json, b_json;
  double epsilon_um;
  int64_t resolution_um;
  if (!call.str(0, a_json) || !call.str(1, b_json) || !call.f64(2, epsilon_um) ||
      !call.i64(3, resolution_um, 200))
    return nullptr;
  auto a = parse_lo(a_json);
  if (!a)
    return nullptr;
  auto b = parse_lo(b_json);
  if (!b)
    return nullptr;
  return to_bool(verify::preserves_within(*a, *b, epsilon_um, resolution_um));
}

PyObject *verify_batch(Call &call) {
  std::vector<std::string_view> candidate_texts;
  std::string_view reference_json;
  int64_t resolution_um;
  if (!call.str_list(0, candidate_texts) || !call.str(1, reference_json) ||
      !call.i64(2, resolution_um, 200))
    return nullptr;
  auto reference = parse_lo(reference_json);
  if (!reference)
    return nullptr;
  // The texts stay alive with the call's references to them, so they are read (in parallel)
  // and verified without the lock; no Python object is touched until it is taken back. A C++
  // exception must not cross the lock boundary, so it is carried over.
  std::expected<std::vector<ir::lo::Program>, json::ReadError> candidates;
  std::vector<bool> flags;
  std::exception_ptr failure;
  PyThreadState *thread = PyEval_SaveThread();
  try {
    candidates = verify::read_candidates(candidate_texts);
    if (candidates)
      flags = verify::verify_batch(*candidates, *reference, resolution_um);
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(thread);
  if (failure)
    std::rethrow_exception(failure);
  if (!candidates)
    return raise_read_error("invalid candidate program JSON; ", candidates.error());
  return to_bool_list(flags);
}

} // namespace

TOLM_FUNCTION(
    check_self_lowering_sound, "check_self_lowering_sound(hi_program_json, resolution_um=200)",
    "Does lowering the given HIGH-LEVEL program (JSON) preserve the deposited material at this\n"
    "resolution (microns)?");

TOLM_FUNCTION(demo_self_lowering_sound,
              "demo_self_lowering_sound(side_mm=20.0, z_mm=0.2, resolution_um=200)",
              "Is the demo square's lowering denotation-preserving at this resolution?");

TOLM_FUNCTION(demo_travel_order, "demo_travel_order(resolution_um=200)",
              "Demonstrate the travel-order pass: `(sound, travel_before_mm, travel_after_mm)`.");

TOLM_FUNCTION(verify_gcode, "verify_gcode(gcode, resolution_um=200)",
              "Verify slicer G-code end to end: parse it, then check that a Tolm pass preserves "
              "the deposited\n"
              "material and that the geometry is translation-invariant. Returns a JSON report.");

TOLM_FUNCTION(verify_roundtrip, "verify_roundtrip(lo_program_json, resolution_um=200)",
              "Emit an (optimized) low-level move plan (JSON, as returned by `lower_to_json`) to "
              "G-code, re-parse\n"
              "it, and check the deposited material is preserved. The lo->G-code emitter is "
              "outside the verified\n"
              "boundary, so run this before trusting emitted G-code (e.g. an RL agent's output). "
              "Returns a JSON\n"
              "report with `occupancy_preserved` / `deposit_preserved`.");

TOLM_FUNCTION(preserves_within, "preserves_within(a_json, b_json, epsilon_um, resolution_um=200)",
              "Whether two programs (JSON) deposit the same material within `epsilon_um` (worst "
              "nearest-miss).");

TOLM_FUNCTION(
    verify_batch, "verify_batch(candidates_json, reference_json, resolution_um=200)",
    "Verify a batch of candidate programs (list of JSON) against a reference (JSON) by deposited\n"
    "material, in parallel with the GIL released. Returns one bool per candidate.");

} // namespace tolm::py
