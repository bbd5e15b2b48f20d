// Numeric conversions shared by the subsystems: saturating casts and unit conversions.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace tolm {

using int128 = __int128;
using uint128 = unsigned __int128;

inline constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
inline constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

/// A double converted to int64 saturating at the type's limits; NaN gives 0. `v` must already
/// be integral (callers apply floor, ceil, trunc or round first).
inline int64_t saturating_i64(double v) {
  if (std::isnan(v))
    return 0;
  if (v >= 9223372036854775808.0)
    return kInt64Max;
  if (v < -9223372036854775808.0)
    return kInt64Min;
  return static_cast<int64_t>(v);
}

/// a + b clamped to the int64 range.
inline int64_t saturating_add(int64_t a, int64_t b) {
  int64_t out;
  if (__builtin_add_overflow(a, b, &out))
    return b > 0 ? kInt64Max : kInt64Min;
  return out;
}

/// a - b clamped to the int64 range.
inline int64_t saturating_sub(int64_t a, int64_t b) {
  int64_t out;
  if (__builtin_sub_overflow(a, b, &out))
    return b < 0 ? kInt64Max : kInt64Min;
  return out;
}

/// Floor division (rounds toward negative infinity); `d` > 0.
inline int64_t floor_div(int64_t n, int64_t d) {
  int64_t q = n / d;
  if ((n % d != 0) && (n < 0))
    --q;
  return q;
}

/// Millimetres to integer microns: v * 1000 rounded half away from zero. Fails when the
/// product is not finite or its magnitude is not below 9e18.
inline std::optional<int64_t> mm_to_um(double mm) {
  double product = mm * 1000.0;
  if (!std::isfinite(product) || !(std::fabs(product) < 9e18))
    return std::nullopt;
  return static_cast<int64_t>(std::round(product));
}

} // namespace tolm
