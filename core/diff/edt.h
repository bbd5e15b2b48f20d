// The exact squared Euclidean distance transform (lower envelope of parabolas, Felzenszwalb and
// Huttenlocher), in one dimension and over a rectangle of cells.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "denote/cells.h"

namespace tolm::diff {

/// d[q] = min over p of ((q - p)² + f[p]); an empty list gives an empty list.
std::vector<int64_t> edt_1d(std::span<const int64_t> f);

/// Reusable buffers of the transform, so that repeated transforms do not allocate.
struct EdtScratch {
  std::vector<int64_t> line;
  std::vector<int64_t> result;
  std::vector<int64_t> apex;
  std::vector<double> bounds;
};

/// The squared distance (in cell units) from every cell of the width x height rectangle with
/// origin (min_i, min_j) to the nearest cell of `cells`, row-major: cell (i, j) at
/// (i - min_i) + (j - min_j) * width. Every cell must lie inside the rectangle. Cells far from
/// any set cell (or all cells, for an empty set) hold 4 * (width² + height²) + 1.
std::vector<int64_t> edt_2d(int64_t width, int64_t height, const denote::CellSet &cells,
                            int64_t min_i, int64_t min_j);

/// As above into `grid` (resized to width * height), reusing `scratch`.
void edt_2d_into(std::vector<int64_t> &grid, EdtScratch &scratch, int64_t width, int64_t height,
                 const denote::CellSet &cells, int64_t min_i, int64_t min_j);

/// The same squared distances, computed only for the rows r with `wanted_rows[r]` != 0 (other
/// rows of `grid` hold unspecified values). The per-column distances come straight from the
/// sorted set, whose cells of one column are contiguous, so no column pass over a grid is made.
void edt_2d_rows_into(std::vector<int64_t> &grid, EdtScratch &scratch, int64_t width,
                      int64_t height, const denote::CellSet &cells, int64_t min_i, int64_t min_j,
                      std::span<const uint8_t> wanted_rows);

} // namespace tolm::diff
