#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "ir/json_io.h"
#include "lower/demo_square.h"
#include "lower/lower.h"

namespace tolm::py {
namespace {

PyObject *lower_to_json(Call &call) {
  std::string_view hi_program_json;
  if (!call.str(0, hi_program_json))
    return nullptr;
  auto program = parse_hi(hi_program_json);
  if (!program)
    return nullptr;
  return to_str(ir::to_json(lower::lower(*program)));
}

PyObject *demo_square_json(Call &) { return to_str(ir::to_json(lower::demo_square(20.0, 0.2))); }

} // namespace

TOLM_FUNCTION(lower_to_json, "lower_to_json(hi_program_json)",
              "Lower a HIGH-LEVEL program (JSON) to the low-level move plan, returned as JSON. "
              "This is the bridge:\n"
              "its output is the LOW-LEVEL JSON the analysis/verify functions consume.");
TOLM_FUNCTION(demo_square_json, "demo_square_json()",
              "The demo square serialized to JSON — a template for building programs.");

} // namespace tolm::py
