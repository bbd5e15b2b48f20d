// Yes/no soundness checks stated on the denotation (per-layer occupancy) rather than on moves.
// Two per-layer occupancy lists are equal when they have the same length and, position by
// position, the same Z, resolution and cell set.
#pragma once

#include <cstdint>

#include "denote/occupancy.h"
#include "ir/hi.h"
#include "ir/lo.h"

namespace tolm::verify {

/// Whether the worst nearest-miss distance between the two plans' material is at most
/// `epsilon_um` (a NaN epsilon gives false). Unmatched cells carry no distance.
bool preserves_within(const ir::lo::Program &a, const ir::lo::Program &b, double epsilon_um,
                      int64_t resolution_um);

/// The occupancy of a high-level program's fills, one entry per layer, computed in parallel.
denote::Occupancy denote_hi(const ir::hi::Program &program, int64_t resolution_um);

/// Whether lowering the program leaves the occupancy of its fills unchanged.
bool self_lowering_sound(const ir::hi::Program &program, int64_t resolution_um);

/// Whether moving every point by (dx, dy) cells moves every layer's occupancy by exactly
/// (dx, dy) cells. Shifts saturate at the int64 limits.
bool translation_invariant(const ir::lo::Program &program, int64_t dx, int64_t dy,
                           int64_t resolution_um);

} // namespace tolm::verify
