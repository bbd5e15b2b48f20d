#include <string>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "ir/json_io.h"
#include "transform/action_json.h"
#include "transform/apply.h"
#include "transform/legal_actions.h"

namespace tolm::py {
namespace {

PyObject *legal_actions(Call &call) {
  std::string_view program_json;
  if (!call.str(0, program_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  transform::write_actions(writer, transform::legal_actions(*program));
  return to_str(writer.text());
}

PyObject *apply_action(Call &call) {
  std::string_view program_json, action_json;
  if (!call.str(0, program_json) || !call.str(1, action_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  auto action = transform::read_action(action_json);
  if (!action)
    return raise_read_error("invalid action JSON; ", action.error());
  auto touched = transform::apply(*action, *program);
  if (!touched)
    return raise_value_error(std::string("action failed: ") +
                             transform::transform_error_name(touched.error()));
  PyObject *text = to_str(ir::to_json(*program));
  if (!text)
    return nullptr;
  PyObject *layers = to_int_list(*touched);
  if (!layers) {
    Py_DECREF(text);
    return nullptr;
  }
  return to_tuple({text, layers});
}

} // namespace

TOLM_FUNCTION(legal_actions, "legal_actions(program_json)",
              "The enumerated legal actions over a program (JSON), returned as a JSON list. Feed "
              "one back to\n`apply_action` (or a `Program` handle) to edit.");

TOLM_FUNCTION(apply_action, "apply_action(program_json, action_json)",
              "Apply an action (JSON) to a program (JSON), returning `(new_program_json, "
              "touched_layers)`. Raises\non an invalid/inapplicable action.");

} // namespace tolm::py
