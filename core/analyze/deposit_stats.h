// Over-deposition statistics from the deposit multiplicity: how much material is laid twice.
#pragma once

#include <cstdint>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::analyze {

struct DepositStats {
  /// The resolution used (at least 1).
  int64_t resolution_um = 1;
  /// Covered cells summed over layers (a cell covered in two layers counts twice).
  uint64_t total_cells = 0;
  /// Covered cells with multiplicity above 1.
  uint64_t over_deposited_cells = 0;
  /// The sum over covered cells of (multiplicity - 1).
  uint64_t redeposited_cells = 0;
  /// The largest multiplicity, 0 when nothing is covered.
  uint32_t max_multiplicity = 0;
};

/// Layers are rasterized in parallel; the counting runs in layer order.
DepositStats deposit_stats(const ir::lo::Program &program, int64_t resolution_um);

void write_deposit_stats(json::Writer &writer, const DepositStats &stats);

} // namespace tolm::analyze
