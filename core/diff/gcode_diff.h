// Both material diffs of two G-code texts: each text is parsed (its diagnostics dropped) and the
// resulting plans are compared.
#pragma once

#include <cstdint>
#include <string_view>

#include "diff/graded.h"
#include "diff/iou.h"

namespace tolm::diff {

/// `diff_programs` of the plans parsed from a_text, then b_text.
GcodeDiff diff_gcode(std::string_view a_text, std::string_view b_text, int64_t resolution_um);

/// `graded_diff_programs` of the plans parsed from a_text, then b_text.
GradedDiff graded_diff_gcode(std::string_view a_text, std::string_view b_text,
                             int64_t resolution_um);

} // namespace tolm::diff
