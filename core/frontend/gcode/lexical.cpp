#include "frontend/gcode/lexical.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace tolm::frontend::gcode {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_lower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size())
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i])
      return false;
  }
  return true;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A validated unsigned decimal (digits, optional point, optional exponent) as a double, rounded
// correctly.
double decimal_value(std::string_view text) {
  // Fast path: a mantissa below 2^53 scaled by at most 10^22 is exact in one IEEE operation.
  uint64_t mantissa = 0;
  int digits = 0;
  int scale = 0;
  size_t i = 0;
  bool after_point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      after_point = true;
      continue;
    }
    if (!is_digit(c))
      break;
    if (mantissa == 0 && c == '0') {
      if (after_point)
        --scale;
      continue;
    }
    if (++digits > 19)
      break;
    mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
    if (after_point)
      --scale;
  }
  if (i == text.size() && digits <= 19 && mantissa <= (uint64_t{1} << 53)) {
    if (mantissa == 0)
      return 0.0;
    if (scale >= 0 && scale <= 22)
      return static_cast<double>(mantissa) * kPow10[scale];
    if (scale < 0 && scale >= -22)
      return static_cast<double>(mantissa) / kPow10[-scale];
  }
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size())
    return value;
  // Out of range: strtod gives the infinity or the (sub)normal result that from_chars refuses.
  std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

} // namespace

size_t whitespace_len(std::string_view text, size_t at) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
  size_t left = text.size() - at;
  unsigned char c = byte(0);
  if (c == ' ' || (c >= 9 && c <= 13))
    return 1;
  if (c < 0xC2 || left < 2)
    return 0;
  if (c == 0xC2)
    return (byte(1) == 0x85 || byte(1) == 0xA0) ? 2 : 0;
  if (left < 3)
    return 0;
  if (c == 0xE1)
    return (byte(1) == 0x9A && byte(2) == 0x80) ? 3 : 0;
  if (c == 0xE2) {
    if (byte(1) == 0x80) {
      unsigned char d = byte(2);
      return ((d >= 0x80 && d <= 0x8A) || d == 0xA8 || d == 0xA9 || d == 0xAF) ? 3 : 0;
    }
    return (byte(1) == 0x81 && byte(2) == 0x9F) ? 3 : 0;
  }
  if (c == 0xE3)
    return (byte(1) == 0x80 && byte(2) == 0x80) ? 3 : 0;
  return 0;
}

std::string_view trim(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t n = whitespace_len(text, begin);
    if (n == 0)
      break;
    begin += n;
  }
  size_t end = text.size();
  // A multi-byte whitespace character is recognised from its lead byte, 2 or 3 bytes back.
  while (end > begin) {
    if (whitespace_len(text, end - 1) == 1)
      end -= 1;
    else if (end - begin >= 2 && whitespace_len(text, end - 2) == 2)
      end -= 2;
    else if (end - begin >= 3 && whitespace_len(text, end - 3) == 3)
      end -= 3;
    else
      break;
  }
  return text.substr(begin, end - begin);
}

std::optional<double> read_double(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    return std::nullopt;
  if (!is_digit(text[0]) && text[0] != '.') {
    double special;
    if (equals_lower(text, "inf") || equals_lower(text, "infinity"))
      special = INFINITY;
    else if (equals_lower(text, "nan"))
      special = NAN;
    else
      return std::nullopt;
    return negative ? -special : special;
  }
  size_t i = 0;
  size_t mantissa_digits = 0;
  while (i < text.size() && is_digit(text[i]))
    ++i, ++mantissa_digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i]))
      ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0)
    return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
      ++i;
    size_t exponent_digits = 0;
    while (i < text.size() && is_digit(text[i]))
      ++i, ++exponent_digits;
    if (exponent_digits == 0)
      return std::nullopt;
  }
  if (i != text.size())
    return std::nullopt;
  double value = decimal_value(text);
  return negative ? -value : value;
}

std::optional<double> parse_mm(std::string_view text) {
  std::optional<double> value = read_double(trim(text));
  if (value && !std::isfinite(*value))
    return std::nullopt;
  return value;
}

} // namespace tolm::frontend::gcode
