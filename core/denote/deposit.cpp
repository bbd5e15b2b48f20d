#include "denote/deposit.h"

#include <algorithm>
#include <cmath>

#include "parallel/pool.h"
#include "util/numeric.h"

namespace tolm::denote {
namespace {

// Merges adjacent sorted runs of `data` (run k spans [starts[k], starts[k + 1])) bottom-up into
// one sorted run. The merge is stable: equal cells keep the order of their runs, so values that
// are folded afterwards are added in path and segment order.
template <class T> void merge_runs(std::vector<T> &data, std::vector<size_t> starts) {
  auto by_cell = [](const T &a, const T &b) { return a.cell < b.cell; };
  std::vector<T> buffer(data.size());
  while (starts.size() > 2) {
    std::vector<size_t> next;
    next.reserve(starts.size() / 2 + 2);
    next.push_back(0);
    size_t run = 0;
    for (; run + 2 < starts.size(); run += 2) {
      std::merge(data.begin() + starts[run], data.begin() + starts[run + 1],
                 data.begin() + starts[run + 1], data.begin() + starts[run + 2],
                 buffer.begin() + starts[run], by_cell);
      next.push_back(starts[run + 2]);
    }
    if (run + 1 < starts.size()) {
      std::move(data.begin() + starts[run], data.begin() + starts[run + 1],
                buffer.begin() + starts[run]);
      next.push_back(starts[run + 1]);
    }
    data.swap(buffer);
    starts = std::move(next);
  }
}

} // namespace

LayerDeposit deposit_of(std::span<const PathRef> paths, int64_t z_um, int64_t res) {
  res = effective_resolution(res);
  std::vector<CellCount> entries;
  std::vector<size_t> starts{0};
  for (const PathRef &path : paths) {
    CellSet cells = path_cells(path.points, path.width_um, res);
    if (cells.empty())
      continue;
    for (const Cell &cell : cells)
      entries.push_back(CellCount{cell, 1});
    starts.push_back(entries.size());
  }
  merge_runs(entries, std::move(starts));

  LayerDeposit out{z_um, res, {}};
  for (const CellCount &entry : entries) {
    if (!out.cells.empty() && out.cells.back().cell == entry.cell)
      ++out.cells.back().count;
    else
      out.cells.push_back(entry);
  }
  return out;
}

Deposit denote_lo_deposit(const ir::lo::Program &program, int64_t res) {
  res = effective_resolution(res);
  Deposit out;
  out.layers = parallel::map(program.layers.size(), [&](size_t index) {
    const ir::lo::Layer &layer = program.layers[index];
    std::vector<PathRef> paths = extrusion_paths(layer);
    return deposit_of(paths, layer.z_um, res);
  });
  return out;
}

LayerVolume volume_of(std::span<const PathRef> paths, int64_t z_um, int64_t res,
                      int64_t layer_height_um) {
  res = effective_resolution(res);
  const int64_t height = std::max<int64_t>(layer_height_um, 1);
  std::vector<CellVolume> entries;
  std::vector<size_t> starts{0};
  for (const PathRef &path : paths) {
    if (path.points.size() < 2)
      continue;
    const double width = static_cast<double>(std::max<int64_t>(path.width_um, 0));
    const double radius = width * 0.5;
    const double section_mm2 = (width / 1000.0) * (static_cast<double>(height) / 1000.0);
    for (size_t k = 0; k + 1 < path.points.size(); ++k) {
      const ir::Point p = path.points[k], q = path.points[k + 1];
      CellSet cells = capsule_cells(p, q, res, radius);
      if (cells.empty())
        continue;
      // The difference of two int64 coordinates can exceed int64; take it exactly first.
      const double dx = static_cast<double>(static_cast<int128>(q.x) - p.x);
      const double dy = static_cast<double>(static_cast<int128>(q.y) - p.y);
      const double length_mm = std::sqrt(dx * dx + dy * dy) / 1000.0;
      const double share = (length_mm * section_mm2) / static_cast<double>(cells.size());
      for (const Cell &cell : cells)
        entries.push_back(CellVolume{cell, share});
      starts.push_back(entries.size());
    }
  }
  merge_runs(entries, std::move(starts));

  LayerVolume out{z_um, res, height, {}};
  for (const CellVolume &entry : entries) {
    if (!out.cells.empty() && out.cells.back().cell == entry.cell)
      out.cells.back().volume_mm3 += entry.volume_mm3;
    else
      out.cells.push_back(CellVolume{entry.cell, 0.0 + entry.volume_mm3});
  }
  return out;
}

std::vector<int64_t> layer_heights(const ir::lo::Program &program,
                                   std::optional<int64_t> layer_height_um) {
  std::vector<int64_t> heights;
  heights.reserve(program.layers.size());
  for (size_t index = 0; index < program.layers.size(); ++index) {
    int64_t height;
    if (layer_height_um)
      height = *layer_height_um;
    else if (index == 0)
      height = program.layers[0].z_um;
    else
      height = saturating_sub(program.layers[index].z_um, program.layers[index - 1].z_um);
    heights.push_back(std::max<int64_t>(height, 1));
  }
  return heights;
}

Volume denote_lo_volume(const ir::lo::Program &program, int64_t res,
                        std::optional<int64_t> layer_height_um) {
  const std::vector<int64_t> heights = layer_heights(program, layer_height_um);
  Volume out;
  out.layers.reserve(program.layers.size());
  for (size_t index = 0; index < program.layers.size(); ++index) {
    const ir::lo::Layer &layer = program.layers[index];
    std::vector<PathRef> paths = extrusion_paths(layer);
    out.layers.push_back(volume_of(paths, layer.z_um, res, heights[index]));
  }
  return out;
}

} // namespace tolm::denote
