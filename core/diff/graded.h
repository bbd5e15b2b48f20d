// The graded distance diff: for every cell that one plan deposits and the other does not at the
// same Z, the distance to the nearest cell of the other plan, summarised per Z and overall.
#pragma once

#include <cstdint>
#include <vector>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::diff {

/// The largest rectangle (in cells) whose distances a layer measures.
inline constexpr uint64_t kMaxGradedAreaCells = 9'000'000;

struct LayerGradedDiff {
  int64_t z_um = 0;
  double mean_um = 0.0;
  double p95_um = 0.0;
  double max_um = 0.0;
  /// Cells in exactly one plan whose distance was measured.
  uint64_t differing_cells = 0;
  /// Cells in exactly one plan whose distance was not measured (the other plan has nothing at
  /// this Z, or the layer's rectangle is larger than the limit).
  uint64_t unmatched_cells = 0;
  friend bool operator==(const LayerGradedDiff &, const LayerGradedDiff &) = default;
};

struct GradedDiff {
  /// The resolution actually used (at least 1).
  int64_t resolution_um = 1;
  double mean_um = 0.0;
  double p95_um = 0.0;
  double max_um = 0.0;
  uint64_t differing_cells = 0;
  uint64_t unmatched_cells = 0;
  /// One row per distinct Z of either plan, ascending.
  std::vector<LayerGradedDiff> per_layer;
  friend bool operator==(const GradedDiff &, const GradedDiff &) = default;
};

/// The graded diff of two plans; distances are between cell centres, scaled by the resolution.
GradedDiff graded_diff_programs(const ir::lo::Program &a, const ir::lo::Program &b,
                                int64_t resolution_um);

void write_graded_diff(json::Writer &writer, const GradedDiff &diff);

} // namespace tolm::diff
