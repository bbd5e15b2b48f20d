// The material fingerprint: a 64-bit FNV-1a-style hash per layer occupancy (over 64-bit words:
// Z, resolution, then every cell's i and j in set order), folded in layer order into 128 bits.
#pragma once

#include <cstdint>
#include <span>

#include "denote/occupancy.h"
#include "ir/lo.h"
#include "util/numeric.h"

namespace tolm::denote {

/// The 64-bit fingerprint of one layer's occupancy.
uint64_t fingerprint(const LayerOccupancy &layer);

/// Folds layer fingerprints, in order, into the 128-bit material fingerprint.
uint128 fold_fingerprints(std::span<const uint64_t> layer_fingerprints);

/// The material fingerprint of a program at a resolution (raised to 1 when below 1).
uint128 material_fingerprint(const ir::lo::Program &program, int64_t resolution_um);

} // namespace tolm::denote
