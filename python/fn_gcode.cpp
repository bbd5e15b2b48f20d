#include "binding/call.h"
#include "binding/convert.h"
#include "binding/function.h"
#include "frontend/gcode/parser.h"
#include "ir/json_io.h"

namespace tolm::py {
namespace {

PyObject *parse_gcode(Call &call) {
  std::string_view gcode;
  if (!call.str(0, gcode))
    return nullptr;
  frontend::gcode::ParseReport report = frontend::gcode::parse(gcode);
  std::string program_json = ir::to_json(report.program);
  report.program = {}; // the records are no longer needed while the str is made
  json::Writer writer;
  frontend::gcode::write_diagnostics(writer, report.diagnostics);
  PyObject *program = to_str(program_json);
  program_json = {};
  PyObject *diagnostics = nullptr;
  try {
    diagnostics = to_str(writer.text());
  } catch (...) {
    Py_DECREF(program);
    throw;
  }
  return to_tuple({program, diagnostics});
}

} // namespace

TOLM_FUNCTION(parse_gcode, "parse_gcode(gcode)",
              "Parse slicer G-code into the IR. Returns `(program_json, diagnostics_json)`. Never "
              "raises on\n"
              "malformed G-code; it degrades and reports via diagnostics.");

} // namespace tolm::py
