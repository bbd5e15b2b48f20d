// Size and travel statistics of a move plan.
#pragma once

#include <cstdint>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::analyze {

struct ProgramStats {
  uint64_t layers = 0;
  uint64_t extruding_toolpaths = 0;
  uint64_t travel_toolpaths = 0;
  /// Total length of all travel toolpaths; -0.0 when there are none.
  double travel_distance_um = -0.0;
};

/// The length of a polyline in µm, summed in path order from -0.0.
double path_length_um(const ir::Polyline &path);

ProgramStats program_stats(const ir::lo::Program &program);

void write_program_stats(json::Writer &writer, const ProgramStats &stats);

} // namespace tolm::analyze
