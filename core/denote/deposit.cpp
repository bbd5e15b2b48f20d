#include "denote/deposit.h"

#include <algorithm>
#include <cmath>

#include "denote/capsule.h"
#include "parallel/pool.h"
#include "util/numeric.h"

namespace tolm::denote {
namespace {

// A layer whose box spans at most this many cells per cell of work (plus a fixed allowance)
// accumulates into a dense grid over the box, read out in (i, j) order; a sparser one merges
// sorted runs instead. Either way the cost stays proportional to the cells covered.
constexpr uint64_t kDenseCellsPerEntry = 4;
constexpr uint64_t kDenseAllowance = uint64_t{1} << 16;

struct Box {
  int64_t i0 = 0, i1 = -1, j0 = 0, j1 = -1;
  bool empty() const { return i1 < i0; }
  void add(int64_t i, int64_t j) {
    if (empty()) {
      *this = Box{i, i, j, j};
      return;
    }
    i0 = std::min(i0, i);
    i1 = std::max(i1, i);
    j0 = std::min(j0, j);
    j1 = std::max(j1, j);
  }
  void add(const CellWindow &w) {
    add(w.i0, w.j0);
    add(w.i1, w.j1);
  }
  uint128 height() const { return static_cast<uint128>(static_cast<int128>(j1) - j0 + 1); }
  // Saturates far below the uint128 limit, so sums of areas cannot wrap either.
  uint128 area() const {
    constexpr uint128 kHuge = uint128{1} << 100;
    const uint128 width = static_cast<uint128>(static_cast<int128>(i1) - i0 + 1);
    if (width > (uint128{1} << 48) || height() > (uint128{1} << 48))
      return kHuge;
    return width * height();
  }
  // Column-major, so that reading the grid in index order yields cells by i, then j.
  size_t index(const Cell &cell, size_t rows) const {
    return static_cast<size_t>(cell.i - i0) * rows + static_cast<size_t>(cell.j - j0);
  }
  Cell cell(size_t index, size_t rows) const {
    return Cell{i0 + static_cast<int64_t>(index / rows), j0 + static_cast<int64_t>(index % rows)};
  }
};

bool dense_fits(const Box &box, uint128 entries) {
  return !box.empty() && box.area() <= entries * kDenseCellsPerEntry + kDenseAllowance;
}

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
  LayerDeposit out{z_um, res, {}};
  std::vector<CellSet> sets;
  sets.reserve(paths.size());
  Box box;
  uint128 entries = 0;
  for (const PathRef &path : paths) {
    CellSet cells = path_cells(path.points, path.width_um, res);
    if (cells.empty())
      continue;
    for (const Cell &cell : cells)
      box.add(cell.i, cell.j);
    entries += cells.size();
    sets.push_back(std::move(cells));
  }
  if (sets.empty())
    return out;

  if (dense_fits(box, entries)) {
    const size_t rows = static_cast<size_t>(box.height());
    std::vector<uint32_t> counts(static_cast<size_t>(box.area()), 0);
    for (const CellSet &cells : sets)
      for (const Cell &cell : cells)
        ++counts[box.index(cell, rows)];
    for (size_t index = 0; index < counts.size(); ++index)
      if (counts[index] != 0)
        out.cells.push_back(CellCount{box.cell(index, rows), counts[index]});
    return out;
  }

  std::vector<CellCount> merged;
  std::vector<size_t> starts{0};
  merged.reserve(static_cast<size_t>(entries));
  for (const CellSet &cells : sets) {
    for (const Cell &cell : cells)
      merged.push_back(CellCount{cell, 1});
    starts.push_back(merged.size());
  }
  merge_runs(merged, std::move(starts));
  for (const CellCount &entry : merged) {
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
  LayerVolume out{z_um, res, height, {}};

  struct Piece {
    ir::Point p, q;
    double radius;
    double volume_mm3;
  };
  std::vector<Piece> pieces;
  Box box;
  uint128 window_cells = 0;
  for (const PathRef &path : paths) {
    if (path.points.size() < 2)
      continue;
    const double width = static_cast<double>(std::max<int64_t>(path.width_um, 0));
    const double radius = width * 0.5;
    const double section_mm2 = (width / 1000.0) * (static_cast<double>(height) / 1000.0);
    for (size_t k = 0; k + 1 < path.points.size(); ++k) {
      const ir::Point p = path.points[k], q = path.points[k + 1];
      // The difference of two int64 coordinates can exceed int64; take it exactly first.
      const double dx = static_cast<double>(static_cast<int128>(q.x) - p.x);
      const double dy = static_cast<double>(static_cast<int128>(q.y) - p.y);
      const double length_mm = std::sqrt(dx * dx + dy * dy) / 1000.0;
      pieces.push_back(Piece{p, q, radius, length_mm * section_mm2});
      const CellWindow window = capsule_window(p, q, res, radius);
      box.add(window);
      window_cells += Box{window.i0, window.i1, window.j0, window.j1}.area();
    }
  }
  if (pieces.empty())
    return out;

  // Each segment's volume is split over its own cells, then added cell by cell in segment
  // order (so the sums are those of adding into the map segment after segment).
  if (dense_fits(box, window_cells)) {
    const size_t rows = static_cast<size_t>(box.height());
    const size_t area = static_cast<size_t>(box.area());
    std::vector<double> volume(area, 0.0);
    std::vector<uint8_t> touched(area, 0);
    std::vector<size_t> indices;
    for (const Piece &piece : pieces) {
      indices.clear();
      for_each_capsule_cell(piece.p, piece.q, res, piece.radius, [&](int64_t i, int64_t j) {
        indices.push_back(box.index(Cell{i, j}, rows));
      });
      if (indices.empty())
        continue;
      const double share = piece.volume_mm3 / static_cast<double>(indices.size());
      for (size_t index : indices) {
        volume[index] += share;
        touched[index] = 1;
      }
    }
    for (size_t index = 0; index < area; ++index)
      if (touched[index])
        out.cells.push_back(CellVolume{box.cell(index, rows), volume[index]});
    return out;
  }

  std::vector<CellVolume> entries;
  std::vector<size_t> starts{0};
  for (const Piece &piece : pieces) {
    CellSet cells = capsule_cells(piece.p, piece.q, res, piece.radius);
    if (cells.empty())
      continue;
    const double share = piece.volume_mm3 / static_cast<double>(cells.size());
    for (const Cell &cell : cells)
      entries.push_back(CellVolume{cell, share});
    starts.push_back(entries.size());
  }
  merge_runs(entries, std::move(starts));
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
