#include "denote/occupancy.h"

#include <algorithm>
#include <bit>
#include <new>

#include <unistd.h>

#include "denote/capsule.h"
#include "parallel/pool.h"
#include "json/writer.h"

namespace tolm::denote {

namespace {

// Layers whose candidate windows span at most this many cells are marked in a bitmap over their
// bounding box and read out in (i, j) order directly; larger ones collect and sort their cells.
constexpr uint64_t kBitmapCellLimit = uint64_t{1} << 27;

struct Segment {
  ir::Point a, b;
  double radius;
};

template <class Visit> void for_each_segment(std::span<const PathRef> paths, Visit &&visit) {
  for (const PathRef &path : paths) {
    const double radius = static_cast<double>(std::max<int64_t>(path.width_um, 0)) / 2;
    const auto &points = path.points;
    if (points.empty())
      continue;
    if (points.size() == 1) {
      visit(Segment{points[0], points[0], radius});
      continue;
    }
    for (size_t k = 0; k + 1 < points.size(); ++k)
      visit(Segment{points[k], points[k + 1], radius});
  }
}

// A bitmap over an inclusive window, one column of bits per i so that reading it out column by
// column yields cells ordered by i, then j.
class ColumnBitmap {
public:
  ColumnBitmap(const CellWindow &box)
      : box_(box), words_per_column_(static_cast<uint64_t>(box.j1 - box.j0) / 64 + 1),
        bits_(words_per_column_ * (static_cast<uint64_t>(box.i1 - box.i0) + 1), 0) {}

  void set(int64_t i, int64_t j) {
    uint64_t row = static_cast<uint64_t>(j - box_.j0);
    bits_[static_cast<uint64_t>(i - box_.i0) * words_per_column_ + row / 64] |= uint64_t{1}
                                                                                << (row % 64);
  }

  size_t count() const {
    size_t total = 0;
    for (uint64_t word : bits_)
      total += static_cast<size_t>(std::popcount(word));
    return total;
  }

  void read_out(CellSet &out) const {
    out.reserve(count());
    const uint64_t columns = static_cast<uint64_t>(box_.i1 - box_.i0) + 1;
    for (uint64_t column = 0; column < columns; ++column) {
      const uint64_t *words = bits_.data() + column * words_per_column_;
      for (uint64_t w = 0; w < words_per_column_; ++w) {
        uint64_t word = words[w];
        while (word != 0) {
          int bit = std::countr_zero(word);
          word &= word - 1;
          out.push_back(Cell{box_.i0 + static_cast<int64_t>(column),
                             box_.j0 + static_cast<int64_t>(w * 64 + static_cast<uint64_t>(bit))});
        }
      }
    }
  }

private:
  CellWindow box_;
  uint64_t words_per_column_;
  std::vector<uint64_t> bits_;
};

CellSet rasterize(std::span<const PathRef> paths, int64_t res) {
  // The bounding box of every segment's candidate window.
  bool any = false;
  CellWindow box{0, -1, 0, -1};
  for_each_segment(paths, [&](const Segment &segment) {
    CellWindow window = capsule_window(segment.a, segment.b, res, segment.radius);
    if (!any) {
      box = window;
      any = true;
      return;
    }
    box.i0 = std::min(box.i0, window.i0);
    box.i1 = std::max(box.i1, window.i1);
    box.j0 = std::min(box.j0, window.j0);
    box.j1 = std::max(box.j1, window.j1);
  });
  CellSet cells;
  if (!any)
    return cells;

  const uint128 width = static_cast<uint128>(static_cast<int128>(box.i1) - box.i0 + 1);
  const uint128 height = static_cast<uint128>(static_cast<int128>(box.j1) - box.j0 + 1);
  if (width * height <= kBitmapCellLimit) {
    ColumnBitmap bitmap(box);
    for_each_segment(paths, [&](const Segment &segment) {
      for_each_capsule_cell(segment.a, segment.b, res, segment.radius,
                            [&](int64_t i, int64_t j) { bitmap.set(i, j); });
    });
    bitmap.read_out(cells);
    return cells;
  }

  for_each_segment(paths, [&](const Segment &segment) {
    for_each_capsule_cell(segment.a, segment.b, res, segment.radius,
                          [&](int64_t i, int64_t j) { cells.push_back(Cell{i, j}); });
  });
  std::sort(cells.begin(), cells.end());
  cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
  return cells;
}

} // namespace

CellSet capsule_cells(ir::Point a, ir::Point b, int64_t res, double r) {
  CellSet cells;
  for_each_capsule_cell(a, b, res, r, [&](int64_t i, int64_t j) { cells.push_back(Cell{i, j}); });
  // Emitted row by row (j major); cell sets are ordered by i first.
  std::sort(cells.begin(), cells.end());
  return cells;
}

CellSet path_cells(std::span<const ir::Point> points, int64_t width_um, int64_t res) {
  PathRef path{points, width_um};
  return rasterize(std::span<const PathRef>(&path, 1), res);
}

LayerOccupancy occupancy_of(std::span<const PathRef> paths, int64_t z_um, int64_t res) {
  res = effective_resolution(res);
  return LayerOccupancy{z_um, res, rasterize(paths, res)};
}

std::vector<PathRef> extrusion_paths(const ir::lo::Layer &layer) {
  std::vector<PathRef> paths;
  paths.reserve(layer.toolpaths.size());
  for (const auto &toolpath : layer.toolpaths)
    if (ir::lo::is_extrude(toolpath))
      paths.push_back(PathRef{toolpath.path.points, toolpath.width_um});
  return paths;
}

LayerOccupancy occupancy_of_layer(const ir::lo::Layer &layer, int64_t res) {
  std::vector<PathRef> paths = extrusion_paths(layer);
  return occupancy_of(paths, layer.z_um, res);
}

Occupancy denote_lo(const ir::lo::Program &program, int64_t res) {
  return Occupancy{parallel::map(program.layers.size(), [&](size_t index) {
    return occupancy_of_layer(program.layers[index], res);
  })};
}

DenseLayer to_dense(const LayerOccupancy &layer) {
  DenseLayer dense;
  dense.z_um = layer.z_um;
  dense.resolution_um = layer.resolution_um;
  if (layer.cells.empty())
    return dense;
  int64_t min_i = layer.cells.front().i, max_i = layer.cells.back().i;
  int64_t min_j = layer.cells.front().j, max_j = min_j;
  for (const Cell &cell : layer.cells) {
    min_j = std::min(min_j, cell.j);
    max_j = std::max(max_j, cell.j);
  }
  const uint128 cols = static_cast<uint128>(static_cast<int128>(max_i) - min_i + 1);
  const uint128 rows = static_cast<uint128>(static_cast<int128>(max_j) - min_j + 1);
  const uint128 size = cols * rows;
  // Zero-filling a matrix larger than the machine's memory would not fail cleanly: refuse it.
  const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
  const uint128 memory = pages > 0 && page_size > 0
                             ? static_cast<uint128>(pages) * static_cast<uint128>(page_size)
                             : static_cast<uint128>(dense.bytes.max_size());
  if (size > memory || size > static_cast<uint128>(dense.bytes.max_size()))
    throw std::bad_alloc();
  dense.bytes.assign(static_cast<size_t>(size), 0);
  dense.min_i = min_i;
  dense.min_j = min_j;
  dense.rows = static_cast<uint64_t>(rows);
  dense.cols = static_cast<uint64_t>(cols);
  for (const Cell &cell : layer.cells)
    dense.bytes[static_cast<uint64_t>(cell.j - min_j) * dense.cols +
                static_cast<uint64_t>(cell.i - min_i)] = 1;
  return dense;
}

std::vector<DenseLayer> dense_layers(const ir::lo::Program &program, int64_t res) {
  std::vector<DenseLayer> layers;
  layers.reserve(program.layers.size());
  for (const auto &layer : program.layers)
    layers.push_back(to_dense(occupancy_of_layer(layer, res)));
  return layers;
}

void write_occupancy(json::Writer &writer, const Occupancy &occupancy) {
  writer.begin_object();
  writer.key("layers");
  writer.begin_array();
  for (const LayerOccupancy &layer : occupancy.layers) {
    writer.begin_object();
    writer.member("z_um", layer.z_um);
    writer.member("resolution_um", layer.resolution_um);
    writer.key("cells");
    writer.begin_array();
    for (const Cell &cell : layer.cells) {
      writer.begin_array();
      writer.value(cell.i);
      writer.value(cell.j);
      writer.end_array();
    }
    writer.end_array();
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::denote
