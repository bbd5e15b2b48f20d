// Sound bounds for a voxel set turned by an arbitrary angle about X or Y: an inner set that the
// turned solid certainly fills and an outer set that it may touch, inner within outer.
#pragma once

#include <cstdint>
#include <string_view>

#include "voxel/voxel_set.h"

namespace tolm::voxel {

struct RotationBounds {
  /// Voxels the turned solid fills completely.
  VoxelSet inner;
  /// Voxels the turned solid may touch.
  VoxelSet outer;
};

/// Whether a set is indistinguishable at the grid from a turned set.
enum class Verdict : uint8_t {
  SameWithinGrid = 0,   ///< within the outer bound and holding the inner bound
  DefinitelyDiffer = 1, ///< beyond what the grid can absorb
};

std::string_view verdict_name(Verdict verdict);

/// The bounds of `voxels` turned by `radians` about X (`axis_x`) or Y. A non-finite angle
/// gives two empty sets.
RotationBounds rotate_bounds(const VoxelSet &voxels, double radians, bool axis_x);

/// SameWithinGrid when b lies within the outer bound of `a` turned and holds its inner bound.
Verdict compare_rotated(const VoxelSet &a, const VoxelSet &b, double radians, bool axis_x);

} // namespace tolm::voxel
