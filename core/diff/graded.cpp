#include "diff/graded.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "diff/dist_stats.h"
#include "diff/edt.h"
#include "diff/occupancy_by_z.h"
#include "util/numeric.h"
#include "json/writer.h"

namespace tolm::diff {
namespace {

uint64_t symmetric_difference_size(const denote::CellSet &a, const denote::CellSet &b) {
  uint64_t count = 0;
  auto ia = a.begin(), ib = b.begin();
  while (ia != a.end() && ib != b.end()) {
    if (*ia < *ib) {
      ++count;
      ++ia;
    } else if (*ib < *ia) {
      ++count;
      ++ib;
    } else {
      ++ia;
      ++ib;
    }
  }
  return count + static_cast<uint64_t>(a.end() - ia) + static_cast<uint64_t>(b.end() - ib);
}

// sqrt(d2) * res for small squared distances, which make up most of a near miss; the same
// expression as for larger ones, so the values are identical.
class DistanceTable {
public:
  explicit DistanceTable(double res) : res_(res) {
    for (size_t d2 = 0; d2 < kSize; ++d2)
      table_[d2] = std::sqrt(static_cast<double>(d2)) * res;
  }
  double operator()(int64_t d2) const {
    return static_cast<uint64_t>(d2) < kSize ? table_[static_cast<size_t>(d2)]
                                             : std::sqrt(static_cast<double>(d2)) * res_;
  }

private:
  static constexpr size_t kSize = 4096;
  double res_;
  double table_[kSize];
};

// Appends, for every cell of `from` that `other` lacks (ascending), its distance read from
// `grid`, the transform of `other`.
void append_distances(std::vector<double> &out, const denote::CellSet &from,
                      const denote::CellSet &other, const std::vector<int64_t> &grid, int64_t width,
                      int64_t min_i, int64_t min_j, const DistanceTable &distance) {
  auto io = other.begin();
  for (const denote::Cell &cell : from) {
    while (io != other.end() && *io < cell)
      ++io;
    if (io != other.end() && *io == cell)
      continue;
    const size_t index = static_cast<size_t>(cell.i - min_i) +
                         static_cast<size_t>(cell.j - min_j) * static_cast<size_t>(width);
    out.push_back(distance(grid[index]));
  }
}

} // namespace

GradedDiff graded_diff_programs(const ir::lo::Program &a, const ir::lo::Program &b,
                                int64_t resolution_um) {
  const int64_t res = denote::effective_resolution(resolution_um);
  const DistanceTable distance(static_cast<double>(res));
  const ZOccupancy za = occupancy_by_z(a.layers, res);
  const ZOccupancy zb = occupancy_by_z(b.layers, res);
  static const denote::CellSet empty;

  GradedDiff out;
  out.resolution_um = res;
  std::vector<double> distances;
  std::vector<int64_t> grid_a, grid_b;
  std::vector<uint8_t> rows_a, rows_b;
  EdtScratch scratch;

  auto ia = za.begin(), ib = zb.begin();
  while (ia != za.end() || ib != zb.end()) {
    int64_t z;
    const denote::CellSet *cells_a = &empty, *cells_b = &empty;
    if (ib == zb.end() || (ia != za.end() && ia->z_um < ib->z_um)) {
      z = ia->z_um;
      cells_a = &(ia++)->cells;
    } else if (ia == za.end() || ib->z_um < ia->z_um) {
      z = ib->z_um;
      cells_b = &(ib++)->cells;
    } else {
      z = ia->z_um;
      cells_a = &(ia++)->cells;
      cells_b = &(ib++)->cells;
    }
    const denote::CellSet &A = *cells_a, &B = *cells_b;

    LayerGradedDiff row;
    row.z_um = z;
    const size_t first = distances.size();
    bool measured = false;
    if (!A.empty() && !B.empty()) {
      // Sets are ordered by i, so the i extent comes from their ends; j needs a scan.
      const int64_t min_i = std::min(A.front().i, B.front().i);
      const int64_t max_i = std::max(A.back().i, B.back().i);
      int64_t min_j = A.front().j, max_j = A.front().j;
      for (const denote::CellSet *set : {&A, &B})
        for (const denote::Cell &cell : *set) {
          min_j = std::min(min_j, cell.j);
          max_j = std::max(max_j, cell.j);
        }
      const int128 width = static_cast<int128>(max_i) - min_i + 1;
      const int128 height = static_cast<int128>(max_j) - min_j + 1;
      const int128 limit = static_cast<int128>(kMaxGradedAreaCells);
      // Each side is at most 2^64, so check the sides before forming the product.
      if (width <= limit && height <= limit && width * height <= limit) {
        const int64_t w = static_cast<int64_t>(width), h = static_cast<int64_t>(height);
        // Only rows holding a cell of the other side are read, so only those are transformed.
        rows_a.assign(static_cast<size_t>(h), 0);
        rows_b.assign(static_cast<size_t>(h), 0);
        for (const denote::Cell &cell : A)
          rows_a[static_cast<size_t>(cell.j - min_j)] = 1;
        for (const denote::Cell &cell : B)
          rows_b[static_cast<size_t>(cell.j - min_j)] = 1;
        edt_2d_rows_into(grid_b, scratch, w, h, B, min_i, min_j, rows_a);
        edt_2d_rows_into(grid_a, scratch, w, h, A, min_i, min_j, rows_b);
        append_distances(distances, A, B, grid_b, w, min_i, min_j, distance);
        append_distances(distances, B, A, grid_a, w, min_i, min_j, distance);
        measured = true;
      }
    }
    if (measured) {
      row.differing_cells = distances.size() - first;
      const DistStats stats = dist_stats(std::span<const double>(distances).subspan(first));
      row.mean_um = stats.mean;
      row.p95_um = stats.p95;
      row.max_um = stats.max;
    } else {
      row.unmatched_cells = symmetric_difference_size(A, B);
    }
    out.differing_cells += row.differing_cells;
    out.unmatched_cells += row.unmatched_cells;
    out.per_layer.push_back(row);
  }
  const DistStats overall = dist_stats(distances);
  out.mean_um = overall.mean;
  out.p95_um = overall.p95;
  out.max_um = overall.max;
  return out;
}

void write_graded_diff(json::Writer &writer, const GradedDiff &diff) {
  writer.begin_object();
  writer.member("resolution_um", diff.resolution_um);
  writer.member("mean_um", diff.mean_um);
  writer.member("p95_um", diff.p95_um);
  writer.member("max_um", diff.max_um);
  writer.member("differing_cells", diff.differing_cells);
  writer.member("unmatched_cells", diff.unmatched_cells);
  writer.key("per_layer");
  writer.begin_array();
  for (const LayerGradedDiff &row : diff.per_layer) {
    writer.begin_object();
    writer.member("z_um", row.z_um);
    writer.member("mean_um", row.mean_um);
    writer.member("p95_um", row.p95_um);
    writer.member("max_um", row.max_um);
    writer.member("differing_cells", row.differing_cells);
    writer.member("unmatched_cells", row.unmatched_cells);
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::diff
