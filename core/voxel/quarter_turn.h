// Exact quarter turns of a voxel set: +90 degrees about X, Y or Z (counter-clockwise looking
// from the positive end of the axis). Each is a bijection of the integer grid, so a set keeps
// its size and four turns give it back. ~n (that is -n - 1) is the index of the unit cube
// [n, n + 1) reflected through 0.
#pragma once

#include "voxel/voxel_set.h"

namespace tolm::voxel {

/// (i, j, k) -> (i, ~k, j): (x, y, z) -> (x, -z, y).
VoxelSet rot_x90(const VoxelSet &voxels);
/// (i, j, k) -> (k, j, ~i): (x, y, z) -> (z, y, -x).
VoxelSet rot_y90(const VoxelSet &voxels);
/// (i, j, k) -> (~j, i, k): (x, y, z) -> (-y, x, z).
VoxelSet rot_z90(const VoxelSet &voxels);

} // namespace tolm::voxel
