// Checking many candidate plans against one reference by exact equality of their per-layer
// occupancy, candidates in parallel.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "ir/lo.h"
#include "json/reader.h"

namespace tolm::verify {

/// Every candidate text read into a program (texts read in parallel); when some do not read,
/// the error of the first of them in list order.
std::expected<std::vector<ir::lo::Program>, json::ReadError>
read_candidates(std::span<const std::string_view> texts);

/// One flag per candidate, in candidate order: whether its per-layer occupancy equals the
/// reference's. Touches no Python object, so callers may release the interpreter lock.
std::vector<bool> verify_batch(std::span<const ir::lo::Program> candidates,
                               const ir::lo::Program &reference, int64_t resolution_um);

} // namespace tolm::verify
