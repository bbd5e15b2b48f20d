// Module functions of the soundness checks and the verification suite.
#include <exception>
#include <vector>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "ir/json_io.h"
#include "verify/batch.h"
#include "verify/checks.h"

namespace tolm::py {
namespace {

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
  std::vector<ir::lo::Program> candidates;
  candidates.reserve(candidate_texts.size());
  for (std::string_view text : candidate_texts) {
    auto candidate = ir::read_lo_program(text);
    if (!candidate)
      return raise_read_error("invalid candidate program JSON; ", candidate.error());
    candidates.push_back(std::move(*candidate));
  }
  std::vector<bool> flags;
  // Everything the core needs is in records now; no Python object is touched until the lock is
  // taken back. A C++ exception must not cross the lock boundary, so it is carried over.
  std::exception_ptr failure;
  // clang-format off
  Py_BEGIN_ALLOW_THREADS
  try {
    flags = verify::verify_batch(candidates, *reference, resolution_um);
  } catch (...) {
    failure = std::current_exception();
  }
  Py_END_ALLOW_THREADS
      // clang-format on
      if (failure) std::rethrow_exception(failure);
  return to_bool_list(flags);
}

} // namespace

TOLM_FUNCTION(preserves_within, "preserves_within(a_json, b_json, epsilon_um, resolution_um=200)",
              "Whether two programs (JSON) deposit the same material within `epsilon_um` (worst "
              "nearest-miss).");

TOLM_FUNCTION(
    verify_batch, "verify_batch(candidates_json, reference_json, resolution_um=200)",
    "Verify a batch of candidate programs (list of JSON) against a reference (JSON) by deposited\n"
    "material, in parallel with the GIL released. Returns one bool per candidate.");

} // namespace tolm::py
