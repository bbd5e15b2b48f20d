#include "diff/occupancy_by_z.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "denote/occupancy.h"
#include "parallel/pool.h"

namespace tolm::diff {

ZOccupancy occupancy_by_z(std::span<const ir::lo::Layer> layers, int64_t resolution_um) {
  std::vector<denote::CellSet> rasters = parallel::map(layers.size(), [&](size_t index) {
    return denote::occupancy_of_layer(layers[index], resolution_um).cells;
  });

  // Layer order within one Z does not matter for a union; sorting the (few) layer indices by Z
  // gives the map's key order directly.
  std::vector<size_t> order(layers.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return layers[a].z_um < layers[b].z_um; });

  ZOccupancy out;
  for (size_t index : order) {
    denote::CellSet &cells = rasters[index];
    if (out.empty() || out.back().z_um != layers[index].z_um) {
      out.push_back(ZCells{layers[index].z_um, std::move(cells)});
      continue;
    }
    denote::CellSet &merged = out.back().cells;
    denote::CellSet united;
    united.reserve(merged.size() + cells.size());
    std::set_union(merged.begin(), merged.end(), cells.begin(), cells.end(),
                   std::back_inserter(united));
    merged = std::move(united);
  }
  return out;
}

} // namespace tolm::diff
