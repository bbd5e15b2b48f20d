#include "diff/gcode_diff.h"

#include "frontend/gcode/parser.h"

namespace tolm::diff {

GcodeDiff diff_gcode(std::string_view a_text, std::string_view b_text, int64_t resolution_um) {
  const ir::lo::Program a = frontend::gcode::parse(a_text).program;
  const ir::lo::Program b = frontend::gcode::parse(b_text).program;
  return diff_programs(a, b, resolution_um);
}

GradedDiff graded_diff_gcode(std::string_view a_text, std::string_view b_text,
                             int64_t resolution_um) {
  const ir::lo::Program a = frontend::gcode::parse(a_text).program;
  const ir::lo::Program b = frontend::gcode::parse(b_text).program;
  return graded_diff_programs(a, b, resolution_um);
}

} // namespace tolm::diff
