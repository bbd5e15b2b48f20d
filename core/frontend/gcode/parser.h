// Reading slicer G-code into the low-level move plan. Reading never fails: what the parser
// cannot use degrades to fewer or coarser toolpaths and is counted in the diagnostics.
#pragma once

#include <string_view>

#include "frontend/gcode/diagnostics.h"
#include "ir/lo.h"

namespace tolm::frontend::gcode {

/// The result of `parse`: the move plan and what the parser counted while reading it.
struct ParseReport {
  ir::lo::Program program;
  Diagnostics diagnostics;
};

/// Reads G-code text (UTF-8) into layers of toolpaths. Layers are cut only at layer markers;
/// G2/G3 arcs are flattened; roles and widths come from slicer comments.
ParseReport parse(std::string_view text);

} // namespace tolm::frontend::gcode
