#include "backend/fixed_point.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tolm::backend {

namespace {

// Writes the decimal digits of `v` (at least one) and returns the end.
char *write_digits(char *out, uint64_t v) {
  char reversed[20];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (count > 0)
    *out++ = reversed[--count];
  return out;
}

// Writes `units` / 10^decimals as a fixed-point number with exactly `decimals` decimals.
char *write_scaled(char *out, bool negative, uint64_t units, uint64_t scale, int decimals) {
  if (negative)
    *out++ = '-';
  out = write_digits(out, units / scale);
  *out++ = '.';
  uint64_t fraction = units % scale;
  for (int k = decimals - 1; k >= 0; --k) {
    out[k] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + decimals;
}

char *write_to_chars(char *out, double v, int decimals) {
  auto [end, ec] = std::to_chars(out, out + kMaxFixedChars, v, std::chars_format::fixed, decimals);
  (void)ec;
  return end;
}

} // namespace

char *write_mm3(char *out, int64_t um) {
  // Below 2^50 µm the double um / 1000 lies within 2^-12 mm of the exact quotient, so its
  // correct rounding to three decimals is the quotient itself: plain integer digits.
  constexpr int64_t kExactLimit = int64_t{1} << 50;
  if (um > -kExactLimit && um < kExactLimit) {
    bool negative = um < 0;
    uint64_t magnitude = static_cast<uint64_t>(negative ? -um : um);
    return write_scaled(out, negative, magnitude, 1000, 3);
  }
  return write_to_chars(out, static_cast<double>(um) / 1000.0, 3);
}

char *write_fixed5(char *out, double v) {
  double magnitude = std::fabs(v);
  double scaled = magnitude * 100000.0;
  if (scaled < 4503599627370496.0) { // 2^52: every integer nearby is exact
    double nearest = std::nearbyint(scaled);
    // `scaled` is within half an ulp of the exact product; when it is clearly away from a
    // half-way point, the nearest integer is the correctly rounded result.
    double margin = scaled * 0x1p-51 + 0x1p-60;
    if (0.5 - std::fabs(scaled - nearest) > margin)
      return write_scaled(out, std::signbit(v), static_cast<uint64_t>(nearest), 100000, 5);
  }
  return write_to_chars(out, v, 5);
}

char *write_int(char *out, int64_t v) {
  auto [end, ec] = std::to_chars(out, out + 24, v);
  (void)ec;
  return end;
}

} // namespace tolm::backend
