// Streaming FNV-1a with a 128-bit state.
#pragma once

#include <cstdint>

#include "util/numeric.h"

namespace tolm::hash {

/// The published 128-bit FNV offset basis.
inline constexpr uint128 kFnv128Offset =
    (static_cast<uint128>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
/// The published 128-bit FNV prime, 2^88 + 0x13B.
inline constexpr uint128 kFnv128Prime = (static_cast<uint128>(1) << 88) | 0x13B;

class Fnv1a128 {
public:
  /// Feeds one byte: XOR into the low byte, then multiply by the prime 2^88 + 0x13B.
  void byte(uint8_t b) {
    lo_ ^= b;
    // state * (2^88 + 0x13B) mod 2^128: the 2^88 term only moves the low 40 bits of the low
    // half into the high half, so one 64-bit multiply with carry does the rest.
    uint128 low_product = static_cast<uint128>(lo_) * 0x13B;
    uint64_t high = hi_ * 0x13B + static_cast<uint64_t>(low_product >> 64) + (lo_ << 24);
    lo_ = static_cast<uint64_t>(low_product);
    hi_ = high;
  }
  /// Feeds the eight bytes of `v`, most significant first.
  void u64(uint64_t v) {
    for (int shift = 56; shift >= 0; shift -= 8)
      byte(static_cast<uint8_t>(v >> shift));
  }
  /// Feeds `v` as eight big-endian two's-complement bytes.
  void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }

  uint128 value() const { return (static_cast<uint128>(hi_) << 64) | lo_; }

private:
  uint64_t hi_ = static_cast<uint64_t>(kFnv128Offset >> 64);
  uint64_t lo_ = static_cast<uint64_t>(kFnv128Offset);
};

} // namespace tolm::hash
