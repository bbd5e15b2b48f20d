#include "voxel/voxel_set.h"

#include <iterator>

#include "parallel/pool.h"

namespace tolm::voxel {

void make_set(std::vector<Voxel> &voxels) {
  // Sets written by this library come back already ordered; only their order is checked then.
  if (!std::is_sorted(voxels.begin(), voxels.end()))
    std::sort(voxels.begin(), voxels.end());
  voxels.erase(std::unique(voxels.begin(), voxels.end()), voxels.end());
}

VoxelSet union_of(std::vector<VoxelSet> parts) {
  std::erase_if(parts, [](const VoxelSet &part) { return part.empty(); });
  if (parts.empty())
    return {};
  while (parts.size() > 1) {
    const size_t pairs = parts.size() / 2;
    std::vector<VoxelSet> merged = parallel::map(pairs, [&](size_t p) {
      const VoxelSet &a = parts[2 * p];
      const VoxelSet &b = parts[2 * p + 1];
      VoxelSet out;
      out.reserve(a.size() + b.size());
      std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
      return out;
    });
    if (parts.size() % 2 == 1)
      merged.push_back(std::move(parts.back()));
    parts = std::move(merged);
  }
  return std::move(parts.front());
}

} // namespace tolm::voxel
