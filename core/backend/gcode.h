// The G-code emitter: absolute XYZ in millimetres with three decimals, relative extrusion with
// five, one move per line, with the layer, height, role and width comments slicers write.
#pragma once

#include <optional>
#include <string>

#include "backend/emit_settings.h"
#include "ir/lo.h"

namespace tolm::backend {

/// The program as G-code text: a four-line header, then per layer ";LAYER_CHANGE", ";Z:",
/// ";HEIGHT:" and a Z move, then its toolpaths. Extrusions spread a known flow over their
/// segments by length, otherwise extrude the bead volume (width x layer height); travels
/// retract and the next extrusion primes. ";TYPE:" is written for the first extrusion of every
/// layer and whenever the role changes; ";WIDTH:" whenever the width changes. Never fails.
std::string to_gcode_with(const ir::lo::Program &program, const EmitSettings &settings);

/// Moves the nozzle to (x, y) unless it is already there: retracts first (when retraction is
/// on, the position is known and the filament is not yet retracted), then writes a G0 line.
/// Updates `position` and `retracted`.
void travel_to(std::string &out, std::optional<ir::Point> &position, int64_t x, int64_t y,
               bool &retracted, const EmitSettings &settings);

} // namespace tolm::backend
