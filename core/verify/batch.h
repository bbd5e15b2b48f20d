// Checking many candidate plans against one reference by exact equality of their per-layer
// occupancy, candidates in parallel.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ir/lo.h"

namespace tolm::verify {

/// One flag per candidate, in candidate order: whether its per-layer occupancy equals the
/// reference's. Touches no Python object, so callers may release the interpreter lock.
std::vector<bool> verify_batch(std::span<const ir::lo::Program> candidates,
                               const ir::lo::Program &reference, int64_t resolution_um);

} // namespace tolm::verify
