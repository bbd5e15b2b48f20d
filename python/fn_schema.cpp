#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "ir/json_io.h"
#include "schema/versioned.h"

namespace tolm::py {
namespace {

PyObject *export_versioned(Call &call) {
  std::string_view lo_program_json;
  if (!call.str(0, lo_program_json))
    return nullptr;
  auto program = parse_lo(lo_program_json);
  if (!program)
    return nullptr;
  return to_str(schema::export_lo(*program));
}

PyObject *import_versioned(Call &call) {
  std::string_view versioned_json;
  if (!call.str(0, versioned_json))
    return nullptr;
  auto program = schema::import_lo(versioned_json);
  if (!program)
    return raise_value_error(schema::message(program.error()));
  return to_str(ir::to_json(*program));
}

} // namespace

TOLM_FUNCTION(export_versioned, "export_versioned(lo_program_json)",
              "Serialize a program (JSON) into a versioned, persistable artifact (adds a "
              "schema-version tag).");
TOLM_FUNCTION(import_versioned, "import_versioned(versioned_json)",
              "Load a versioned artifact (from `export_versioned`) back to a program (JSON), "
              "failing loudly on a\n"
              "schema-version or kind mismatch.");

} // namespace tolm::py
