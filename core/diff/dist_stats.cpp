#include "diff/dist_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tolm::diff {

DistStats dist_stats(std::span<const double> values) {
  const size_t n = values.size();
  if (n == 0)
    return {};
  double sum = 0.0;
  for (double v : values)
    sum += v;

  const double rank = std::ceil(0.95 * static_cast<double>(n));
  size_t index = 0;
  if (!(rank < 1.0)) {
    index = rank >= 18446744073709551616.0 ? SIZE_MAX : static_cast<size_t>(rank) - 1;
  }
  index = std::min(index, n - 1);

  // Only two order statistics are needed, so select them instead of sorting the whole copy.
  std::vector<double> copy(values.begin(), values.end());
  std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(index), copy.end());
  const double p95 = copy[index];
  const double max =
      *std::max_element(copy.begin() + static_cast<std::ptrdiff_t>(index), copy.end());
  return DistStats{sum / static_cast<double>(n), p95, max};
}

} // namespace tolm::diff
