// Summary statistics of a list of distances.
#pragma once

#include <span>

namespace tolm::diff {

struct DistStats {
  double mean = 0.0;
  /// The nearest-rank 95th percentile: the ceil(0.95 n)-th smallest value.
  double p95 = 0.0;
  double max = 0.0;
  friend bool operator==(const DistStats &, const DistStats &) = default;
};

/// Mean (summed in list order), nearest-rank p95 and maximum; all 0.0 for an empty list.
DistStats dist_stats(std::span<const double> values);

} // namespace tolm::diff
