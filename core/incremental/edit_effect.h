// Applying an action while working out whether it can have changed its layer's occupancy, so
// that a cache owner flags only layers whose cells may differ. Reversals, swaps, permutations
// and seam moves keep every segment of every path (the capsule rule does not depend on a
// segment's direction or on path order), so they never change the cells. A split or a merge
// replaces segments; its effect is decided by comparing the cells of the replaced segments
// with those of their replacements, which costs a few segments instead of the whole layer.
#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "ir/lo.h"
#include "transform/action.h"
#include "transform/apply.h"

namespace tolm::incremental {

struct AppliedEdit {
  /// The touched layers, as `transform::apply` reports them.
  std::vector<uint64_t> touched;
  /// False only when the touched layer's cells at the resolution are provably unchanged.
  bool cells_may_change = true;
};

/// Applies `action` to `program` (exactly as `transform::apply`). With `check` false the cells
/// are assumed to change and nothing extra is computed; `resolution_um` must be at least 1.
std::expected<AppliedEdit, transform::TransformError> apply_tracked(const transform::Action &action,
                                                                    ir::lo::Program &program,
                                                                    int64_t resolution_um,
                                                                    bool check);

} // namespace tolm::incremental
