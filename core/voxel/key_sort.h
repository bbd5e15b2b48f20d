// A stable sort by one int64 key, used to reorder voxel lists whose other keys are already in
// order. Keys spanning a range not much larger than the list are counted into place in linear
// time; sparse keys fall back to a comparison sort.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace tolm::voxel {

/// Stably reorders `items` by `key(item)` ascending. `scratch` is reused between calls.
template <class T, class Key>
void stable_sort_by_key(std::span<T> items, std::vector<T> &scratch, Key &&key) {
  const size_t n = items.size();
  if (n < 2)
    return;
  int64_t lo = key(items[0]), hi = lo;
  bool ordered = true;
  int64_t previous = lo;
  for (size_t x = 1; x < n; ++x) {
    const int64_t value = key(items[x]);
    ordered = ordered && previous <= value;
    previous = value;
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  }
  if (ordered)
    return;
  // The span as unsigned arithmetic cannot overflow; a range beyond a few times the length
  // would make the counting table dominate.
  const uint64_t span = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo);
  if (span >= 4 * static_cast<uint64_t>(n) + 1024) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T &a, const T &b) { return key(a) < key(b); });
    return;
  }
  std::vector<size_t> start(static_cast<size_t>(span) + 2, 0);
  for (const T &item : items)
    ++start[static_cast<uint64_t>(key(item)) - static_cast<uint64_t>(lo) + 1];
  for (size_t b = 1; b < start.size(); ++b)
    start[b] += start[b - 1];
  scratch.resize(n);
  for (const T &item : items)
    scratch[start[static_cast<uint64_t>(key(item)) - static_cast<uint64_t>(lo)]++] = item;
  std::copy(scratch.begin(), scratch.end(), items.begin());
}

} // namespace tolm::voxel
