// Fixed-width lowercase hexadecimal text for 128-bit identities (hashes, fingerprints).
#pragma once

#include <string>

#include "util/numeric.h"

namespace tolm {

/// `v` as exactly 32 lowercase hexadecimal digits, most significant first, zero-padded.
inline std::string hex32(uint128 v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(32, '0');
  for (int k = 31; k >= 0; --k) {
    out[static_cast<size_t>(k)] = kDigits[static_cast<unsigned>(v & 15)];
    v >>= 4;
  }
  return out;
}

} // namespace tolm
