// The material diff by intersection over union: two plans' Z-keyed occupancies compared Z by Z.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::diff {

/// Cell counts at one Z.
struct LayerDiff {
  int64_t z_um = 0;
  uint64_t only_in_a = 0;
  uint64_t only_in_b = 0;
  uint64_t shared = 0;
  friend bool operator==(const LayerDiff &, const LayerDiff &) = default;
};

struct GcodeDiff {
  /// The resolution argument as given (not raised to 1).
  int64_t resolution_um = 0;
  bool identical = true;
  bool both_empty = true;
  /// total_shared / union count; absent when the union is empty.
  std::optional<double> iou;
  uint64_t total_only_in_a = 0;
  uint64_t total_only_in_b = 0;
  uint64_t total_shared = 0;
  /// One row per distinct Z of either plan, ascending.
  std::vector<LayerDiff> layers;
  friend bool operator==(const GcodeDiff &, const GcodeDiff &) = default;
};

/// Compares two plans by the cells they occupy, layers matched by exact Z.
GcodeDiff diff_programs(const ir::lo::Program &a, const ir::lo::Program &b, int64_t resolution_um);

void write_gcode_diff(json::Writer &writer, const GcodeDiff &diff);

} // namespace tolm::diff
