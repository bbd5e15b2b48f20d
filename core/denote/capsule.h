// The capsule rule: the cells whose centre lies within the bead radius plus half a cell diagonal
// of a segment. Every denotation (occupancy, deposit, volume, flow, travel collisions) draws
// through `for_each_capsule_cell`, so they all agree cell for cell.
#pragma once

#include <algorithm>
#include <cmath>

#include "denote/cells.h"
#include "ir/geometry.h"
#include "util/numeric.h"

namespace tolm::denote {

/// Half a cell diagonal per micron of resolution (sqrt(2) / 2).
inline constexpr double kHalfDiagonal = 0.7071067811865476;

/// The inclusive candidate window of a segment's capsule, in cell indices.
struct CellWindow {
  int64_t i0, i1, j0, j1;
};

inline CellWindow capsule_window(ir::Point a, ir::Point b, int64_t res, double r) {
  double reach = r + kHalfDiagonal * static_cast<double>(res);
  int64_t margin = saturating_i64(std::ceil(reach));
  return CellWindow{
      floor_div(saturating_sub(std::min(a.x, b.x), margin), res),
      floor_div(saturating_add(std::max(a.x, b.x), margin), res),
      floor_div(saturating_sub(std::min(a.y, b.y), margin), res),
      floor_div(saturating_add(std::max(a.y, b.y), margin), res),
  };
}

/// Calls `emit(i, j)` for every cell of the capsule around segment a-b with bead radius `r` at
/// resolution `res` (at least 1), row by row (j ascending), columns ascending within a row. The
/// segment a-b and the segment b-a emit exactly the same cells.
template <class Emit>
void for_each_capsule_cell(ir::Point a, ir::Point b, int64_t res, double r, Emit &&emit) {
  const double reach = r + kHalfDiagonal * static_cast<double>(res);
  const double reach2 = reach * reach;
  const CellWindow window = capsule_window(a, b, res, r);

  // Order the endpoints so that both directions of a segment do the same arithmetic.
  const bool a_first = a.x < b.x || (a.x == b.x && a.y <= b.y);
  const ir::Point p0 = a_first ? a : b;
  const ir::Point p1 = a_first ? b : a;
  const double p0x = static_cast<double>(p0.x), p0y = static_cast<double>(p0.y);
  const double dx = static_cast<double>(p1.x) - p0x;
  const double dy = static_cast<double>(p1.y) - p0y;
  const double c = dx * dx + dy * dy;
  const double dres = static_cast<double>(res);
  const int64_t half = res / 2;
  const double dhalf = static_cast<double>(half);
  const double root_c = std::sqrt(c);
  const double band = root_c * reach;
  // Rounding noise of the distance test: near the int64 limits doubles are 2 KiB apart, so the
  // test may accept cells a little outside the exact band. The column range is widened by a
  // bound on that noise and on the error of the band's crossings, so that pruning never drops a
  // cell that the test over the whole window would accept.
  const double magnitude =
      std::max({std::fabs(p0x), std::fabs(p0y), std::fabs(p0x + dx), std::fabs(p0y + dy)}) + reach +
      2 * static_cast<double>(res);
  const double noise = magnitude * 0x1p-49;

  // Loops run over unsigned offsets from the window's start so that a window reaching the int64
  // limits cannot overflow its index.
  const uint64_t last_row = static_cast<uint64_t>(window.j1) - static_cast<uint64_t>(window.j0);
  for (uint64_t row = 0; row <= last_row; ++row) {
    const int64_t j = static_cast<int64_t>(static_cast<uint64_t>(window.j0) + row);
    const double yc = static_cast<double>(j) * dres + dhalf;
    int64_t col_lo = window.i0, col_hi = window.i1;
    if (c > 0 && dy != 0) {
      const double along = (yc - p0y) * dx;
      const double xa = p0x + (along + band) / dy;
      const double xb = p0x + (along - band) / dy;
      const double xlo = std::min(xa, xb), xhi = std::max(xa, xb);
      // One column absorbs any crossing error up to half a cell; larger errors (only far from
      // the origin or for extreme slopes) widen the range further.
      const double error = ((std::fabs(along) + band) * 0x1p-50 + noise * root_c) / std::fabs(dy) +
                           std::fabs(p0x) * 0x1p-51 + noise;
      const int64_t margin =
          error <= dres * 0.5 ? 1 : saturating_i64(std::ceil(2 * error / dres)) + 1;
      col_lo = std::max(col_lo,
                        saturating_sub(saturating_i64(std::floor((xlo - dhalf) / dres)), margin));
      col_hi =
          std::min(col_hi, saturating_add(saturating_i64(std::ceil((xhi - dhalf) / dres)), margin));
      if (col_lo > col_hi)
        continue;
    } else if (c > 0 && std::fabs(yc - p0y) > reach + noise) {
      continue;
    }
    const double ey = yc - p0y;
    const uint64_t last_column = static_cast<uint64_t>(col_hi) - static_cast<uint64_t>(col_lo);
    for (uint64_t column = 0; column <= last_column; ++column) {
      const int64_t i = static_cast<int64_t>(static_cast<uint64_t>(col_lo) + column);
      const double xc = static_cast<double>(i) * dres + dhalf;
      double d2;
      if (c == 0) {
        const double ex = xc - p0x;
        d2 = ex * ex + ey * ey;
      } else {
        double t = ((xc - p0x) * dx + ey * dy) / c;
        if (t < 0)
          t = 0;
        if (t > 1)
          t = 1;
        const double nx = dx * t + p0x, ny = dy * t + p0y;
        const double ex = xc - nx, fy = yc - ny;
        d2 = ex * ex + fy * fy;
      }
      if (d2 <= reach2)
        emit(i, j);
    }
  }
}

} // namespace tolm::denote
