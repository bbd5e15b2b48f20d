#include "voxel/quarter_turn.h"

#include <span>

#include "voxel/key_sort.h"

// Each turn keeps part of the input order, so one or two stable passes over a single key put
// the mapped voxels in order; the comments give the order of the mapped (a, b, c) before them.

namespace tolm::voxel {

VoxelSet rot_x90(const VoxelSet &voxels) {
  VoxelSet out;
  out.reserve(voxels.size());
  for (const Voxel &v : voxels)
    out.push_back({v.i, ~v.k, v.j});
  // By a, then c, then b descending: sorting each run of equal a by b finishes the order.
  std::vector<Voxel> scratch;
  for (size_t begin = 0; begin < out.size();) {
    size_t end = begin + 1;
    while (end < out.size() && out[end].i == out[begin].i)
      ++end;
    stable_sort_by_key(std::span(out).subspan(begin, end - begin), scratch,
                       [](const Voxel &v) { return v.j; });
    begin = end;
  }
  return out;
}

VoxelSet rot_y90(const VoxelSet &voxels) {
  VoxelSet out;
  out.reserve(voxels.size());
  // Walking the input backwards gives c ascending; then b, then a, each pass stable.
  for (auto v = voxels.rbegin(); v != voxels.rend(); ++v)
    out.push_back({v->k, v->j, ~v->i});
  std::vector<Voxel> scratch;
  stable_sort_by_key(std::span(out), scratch, [](const Voxel &v) { return v.j; });
  stable_sort_by_key(std::span(out), scratch, [](const Voxel &v) { return v.i; });
  return out;
}

VoxelSet rot_z90(const VoxelSet &voxels) {
  VoxelSet out;
  out.reserve(voxels.size());
  for (const Voxel &v : voxels)
    out.push_back({~v.j, v.i, v.k});
  // By b, then a descending, then c: one stable pass by a.
  std::vector<Voxel> scratch;
  stable_sort_by_key(std::span(out), scratch, [](const Voxel &v) { return v.i; });
  return out;
}

} // namespace tolm::voxel
