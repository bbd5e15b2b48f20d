#include "diff/edt.h"

#include <limits>

#include "util/abort.h"
#include "util/numeric.h"

namespace tolm::diff {
namespace {

// (q + p)(q - p) + fq - fp as a double: in 64 bits when that cannot overflow (always, for the grids
// of the graded diff), otherwise exactly in 128 bits, since a caller's list may hold any int64
// value.
inline double parabola_numerator(int64_t q, int64_t p, int64_t fq, int64_t fp) {
  int64_t product, sum, out;
  if (!__builtin_mul_overflow(q + p, q - p, &product) &&
      !__builtin_add_overflow(product, fq, &sum) && !__builtin_sub_overflow(sum, fp, &out))
    return static_cast<double>(out);
  return static_cast<double>(static_cast<int128>(q + p) * (q - p) + static_cast<int128>(fq) - fp);
}

// One-dimensional transform of f[0..n) into d[0..n); `apex` and `bounds` hold at least n and
// n + 1 entries.
void edt_1d_into(const int64_t *f, size_t n, int64_t *d, int64_t *apex, double *bounds) {
  if (n == 0)
    return;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  size_t k = 0;
  apex[0] = 0;
  bounds[0] = -kInf;
  bounds[1] = kInf;
  for (size_t q = 1; q < n; ++q) {
    const int64_t qi = static_cast<int64_t>(q);
    double s;
    for (;;) {
      const int64_t p = apex[k];
      s = parabola_numerator(qi, p, f[q], f[p]) / static_cast<double>(2 * (qi - p));
      if (!(s > bounds[k]) && k > 0) {
        --k;
        continue;
      }
      break;
    }
    ++k;
    apex[k] = qi;
    bounds[k] = s;
    bounds[k + 1] = kInf;
  }
  k = 0;
  for (size_t q = 0; q < n; ++q) {
    const double qd = static_cast<double>(q);
    while (bounds[k + 1] < qd)
      ++k;
    const int64_t offset = static_cast<int64_t>(q) - apex[k];
    d[q] = saturating_add(offset * offset, f[apex[k]]);
  }
}

} // namespace

std::vector<int64_t> edt_1d(std::span<const int64_t> f) {
  std::vector<int64_t> d(f.size());
  std::vector<int64_t> apex(f.size());
  std::vector<double> bounds(f.size() + 1);
  edt_1d_into(f.data(), f.size(), d.data(), apex.data(), bounds.data());
  return d;
}

void edt_2d_into(std::vector<int64_t> &grid, EdtScratch &scratch, int64_t width, int64_t height,
                 const denote::CellSet &cells, int64_t min_i, int64_t min_j) {
  TOLM_CHECK(width >= 0 && height >= 0);
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  const int64_t inf = 4 * (width * width + height * height) + 1;
  grid.assign(w * h, inf);
  for (const denote::Cell &cell : cells) {
    const int64_t ci = cell.i - min_i, cj = cell.j - min_j;
    TOLM_CHECK(ci >= 0 && ci < width && cj >= 0 && cj < height);
    grid[static_cast<size_t>(ci) + static_cast<size_t>(cj) * w] = 0;
  }
  // Columns are transformed in blocks: a block's rows are read and written a cache line at a
  // time instead of one value per line. A column without a set cell stays at INF (a row of
  // equal values is its own transform), so it is skipped.
  constexpr size_t kBlock = 16;
  const size_t longest = std::max(w, h);
  scratch.line.resize(std::max(longest, kBlock * h));
  scratch.result.resize(std::max(longest, kBlock * h));
  scratch.apex.resize(longest);
  scratch.bounds.resize(longest + 1);
  int64_t *line = scratch.line.data();
  int64_t *result = scratch.result.data();

  for (size_t c0 = 0; c0 < w; c0 += kBlock) {
    const size_t bw = std::min(kBlock, w - c0);
    bool has_cell[kBlock] = {};
    for (size_t r = 0; r < h; ++r) {
      const int64_t *src = grid.data() + c0 + r * w;
      for (size_t b = 0; b < bw; ++b) {
        line[b * h + r] = src[b];
        has_cell[b] |= src[b] == 0;
      }
    }
    bool any = false;
    for (size_t b = 0; b < bw; ++b) {
      if (!has_cell[b])
        continue;
      any = true;
      edt_1d_into(line + b * h, h, result + b * h, scratch.apex.data(), scratch.bounds.data());
    }
    if (!any)
      continue;
    for (size_t r = 0; r < h; ++r) {
      int64_t *dst = grid.data() + c0 + r * w;
      for (size_t b = 0; b < bw; ++b)
        if (has_cell[b])
          dst[b] = result[b * h + r];
    }
  }
  for (size_t r = 0; r < h; ++r) {
    int64_t *row = grid.data() + r * w;
    edt_1d_into(row, w, result, scratch.apex.data(), scratch.bounds.data());
    std::copy(result, result + w, row);
  }
}

void edt_2d_rows_into(std::vector<int64_t> &grid, EdtScratch &scratch, int64_t width,
                      int64_t height, const denote::CellSet &cells, int64_t min_i, int64_t min_j,
                      std::span<const uint8_t> wanted_rows) {
  TOLM_CHECK(width >= 0 && height >= 0 && wanted_rows.size() == static_cast<size_t>(height));
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  const int64_t inf = 4 * (width * width + height * height) + 1;
  grid.resize(w * h);
  scratch.line.resize(w);
  scratch.result.resize(w);
  scratch.apex.resize(w);
  scratch.bounds.resize(w + 1);

  // Per column: the range of its cells in the set ([begin, end)) and a cursor at the first cell
  // whose row is at or after the current row. Rows are taken in ascending order, so cursors
  // only move forward. The stored rows are relative to min_j.
  std::vector<size_t> begin(w, 0), end(w, 0);
  std::vector<int64_t> rows(cells.size());
  for (size_t k = 0; k < cells.size(); ++k) {
    const int64_t ci = cells[k].i - min_i, cj = cells[k].j - min_j;
    TOLM_CHECK(ci >= 0 && ci < width && cj >= 0 && cj < height);
    const size_t c = static_cast<size_t>(ci);
    if (end[c] == 0 || end[c] != k)
      begin[c] = k;
    end[c] = k + 1;
    rows[k] = cj;
  }
  std::vector<size_t> cursor(begin);

  int64_t *line = scratch.line.data();
  for (size_t r = 0; r < h; ++r) {
    if (!wanted_rows[r])
      continue;
    const int64_t row = static_cast<int64_t>(r);
    for (size_t c = 0; c < w; ++c) {
      if (begin[c] == end[c]) {
        line[c] = inf;
        continue;
      }
      size_t &at = cursor[c];
      while (at < end[c] && rows[at] < row)
        ++at;
      int64_t best = inf;
      if (at < end[c])
        best = (rows[at] - row) * (rows[at] - row);
      if (at > begin[c])
        best = std::min(best, (row - rows[at - 1]) * (row - rows[at - 1]));
      line[c] = best;
    }
    edt_1d_into(line, w, grid.data() + r * w, scratch.apex.data(), scratch.bounds.data());
  }
}

std::vector<int64_t> edt_2d(int64_t width, int64_t height, const denote::CellSet &cells,
                            int64_t min_i, int64_t min_j) {
  std::vector<int64_t> grid;
  EdtScratch scratch;
  edt_2d_into(grid, scratch, width, height, cells, min_i, min_j);
  return grid;
}

} // namespace tolm::diff
