// The edit vocabulary: six local edits of a low-level program, addressed by indices.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

namespace tolm::transform {

/// Reverse the point order of one toolpath.
struct ReversePath {
  uint64_t layer = 0;
  uint64_t toolpath = 0;
  friend bool operator==(const ReversePath &, const ReversePath &) = default;
};

/// Exchange the toolpaths at positions `a` and `b` of one layer.
struct SwapToolpaths {
  uint64_t layer = 0;
  uint64_t a = 0;
  uint64_t b = 0;
  friend bool operator==(const SwapToolpaths &, const SwapToolpaths &) = default;
};

/// Reorder all toolpaths of one layer: new position i receives old toolpath `perm[i]`.
struct PermuteToolpaths {
  uint64_t layer = 0;
  std::vector<uint64_t> perm;
  friend bool operator==(const PermuteToolpaths &, const PermuteToolpaths &) = default;
};

/// Insert a point `t_permille` thousandths of the way along segment `segment` (points
/// `segment` to `segment` + 1).
struct SplitSegment {
  uint64_t layer = 0;
  uint64_t toolpath = 0;
  uint64_t segment = 0;
  uint16_t t_permille = 0;
  friend bool operator==(const SplitSegment &, const SplitSegment &) = default;
};

/// Drop the interior points of one toolpath that lie on a straight run between their neighbours.
struct MergeCollinear {
  uint64_t layer = 0;
  uint64_t toolpath = 0;
  friend bool operator==(const MergeCollinear &, const MergeCollinear &) = default;
};

/// Restart a closed toolpath at point `vertex`.
struct RelocateSeam {
  uint64_t layer = 0;
  uint64_t toolpath = 0;
  uint64_t vertex = 0;
  friend bool operator==(const RelocateSeam &, const RelocateSeam &) = default;
};

using Action = std::variant<ReversePath, SwapToolpaths, PermuteToolpaths, SplitSegment,
                            MergeCollinear, RelocateSeam>;

/// The layer an action addresses.
inline uint64_t action_layer(const Action &action) {
  return std::visit([](const auto &a) { return a.layer; }, action);
}

} // namespace tolm::transform
