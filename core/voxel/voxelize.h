// Lifting a low-level program into a voxel set: every layer's occupied cells extruded over the
// heights the layer deposits.
#pragma once

#include <cstdint>
#include <optional>

#include "ir/lo.h"
#include "voxel/voxel_set.h"

namespace tolm::voxel {

/// Every layer's cells at the resolution (raised to 1 when below 1), filled over the layer's
/// height: `layer_height_um` when given, otherwise the first layer's own Z and each later
/// layer's Z minus the previous one's, in list order. Layers are rasterized on the work pool.
/// Throws std::bad_alloc when the set would not fit in the machine's memory.
VoxelSet voxelize(const ir::lo::Program &program, int64_t resolution_um,
                  std::optional<int64_t> layer_height_um);

} // namespace tolm::voxel
