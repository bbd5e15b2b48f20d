// 128-bit values as text.
#pragma once

#include <string>

namespace tolm {

/// The value as exactly 32 lower-case hexadecimal digits, high half first, zero-padded.
inline std::string hex32(unsigned __int128 value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (int k = 31; k >= 0; --k) {
    text[static_cast<size_t>(k)] = kDigits[static_cast<unsigned>(value & 0xf)];
    value >>= 4;
  }
  return text;
}

} // namespace tolm
