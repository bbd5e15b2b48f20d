#include "backend/gcode.h"
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "lower/demo_square.h"
#include "lower/lower.h"

namespace tolm::py {
namespace {

PyObject *program_to_gcode(Call &call) {
  std::string_view hi_program_json;
  if (!call.str(0, hi_program_json))
    return nullptr;
  auto program = parse_hi(hi_program_json);
  if (!program)
    return nullptr;
  return to_str(backend::to_gcode_with(lower::lower(*program), backend::EmitSettings::standard()));
}

PyObject *demo_square_gcode(Call &call) {
  double side_mm;
  double z_mm;
  if (!call.f64(0, side_mm, 20.0) || !call.f64(1, z_mm, 0.2))
    return nullptr;
  return to_str(backend::to_gcode_with(lower::lower(lower::demo_square(side_mm, z_mm)),
                                       backend::EmitSettings::standard()));
}

} // namespace

TOLM_FUNCTION(program_to_gcode, "program_to_gcode(hi_program_json)",
              "Lower a HIGH-LEVEL program (JSON with regions/fills, e.g. from "
              "`demo_square_json`) and emit G-code.");
TOLM_FUNCTION(demo_square_gcode, "demo_square_gcode(side_mm=20.0, z_mm=0.2)",
              "G-code for a demo square.");

} // namespace tolm::py
