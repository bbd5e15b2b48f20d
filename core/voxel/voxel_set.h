// Voxel sets: ordered sets of (i, j, k) grid indices in one contiguous array.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <vector>

namespace tolm::voxel {

/// A voxel: i and j index the occupancy cells (X, Y), k the height; voxel k spans heights
/// [k * res, (k + 1) * res). In grid units it is the unit cube [i, i+1) x [j, j+1) x [k, k+1).
struct Voxel {
  int64_t i = 0;
  int64_t j = 0;
  int64_t k = 0;
  friend auto operator<=>(const Voxel &, const Voxel &) = default;
};

/// An ordered voxel set: ascending by i, then j, then k, without duplicates.
using VoxelSet = std::vector<Voxel>;

/// Turns any list of voxels into a set: sorted, duplicates removed.
void make_set(std::vector<Voxel> &voxels);

/// Whether `set` holds `v` (binary search).
inline bool contains(const VoxelSet &set, const Voxel &v) {
  return std::binary_search(set.begin(), set.end(), v);
}

/// The union of several sets, merged pairwise on the work pool.
VoxelSet union_of(std::vector<VoxelSet> parts);

} // namespace tolm::voxel
