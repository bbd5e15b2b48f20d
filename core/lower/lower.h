// Lowering: a high-level program (regions with fills) becomes the move plan (toolpaths).
#pragma once

#include "ir/hi.h"
#include "ir/lo.h"

namespace tolm::lower {

/// Each fill becomes one extrusion of its region's role, in order; a travel joins the end of
/// one fill to the start of the next within a layer when they differ. Fills without points are
/// dropped; region outlines are not read. Output layers match input layers one to one.
ir::lo::Program lower(const ir::hi::Program &program);

} // namespace tolm::lower
