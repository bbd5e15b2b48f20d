#include "frontend/gcode/words.h"

#include <array>

#include "frontend/gcode/lexical.h"

namespace tolm::frontend::gcode {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
// What a byte starts: nothing (0), a parameter word (its index + 1), a command word, or a word
// the parser ignores. Letters of either case.
constexpr uint8_t kNotWord = 0;
constexpr uint8_t kCommandWord = kParamCount + 1;
constexpr uint8_t kOtherWord = kParamCount + 2;

constexpr auto kWordClass = [] {
  std::array<uint8_t, 256> table{};
  for (char c = 'A'; c <= 'Z'; ++c) {
    uint8_t kind = kOtherWord;
    switch (c) {
    case 'D':
      kind = kD + 1;
      break;
    case 'E':
      kind = kE + 1;
      break;
    case 'I':
      kind = kI + 1;
      break;
    case 'J':
      kind = kJ + 1;
      break;
    case 'R':
      kind = kR + 1;
      break;
    case 'X':
      kind = kX + 1;
      break;
    case 'Y':
      kind = kY + 1;
      break;
    case 'Z':
      kind = kZ + 1;
      break;
    case 'G':
    case 'M':
    case 'T':
      kind = kCommandWord;
      break;
    default:
      break;
    }
    table[static_cast<uint8_t>(c)] = kind;
    table[static_cast<uint8_t>(c - 'A' + 'a')] = kind;
  }
  return table;
}();

size_t number_end(std::string_view code, size_t at) {
  size_t n = code.size();
  bool digit = false;
  while (at < n) {
    char c = code[at];
    if (is_digit(c))
      digit = true;
    else if (c != '+' && c != '-' && c != '.')
      break;
    ++at;
  }
  if (digit && at < n && code[at] == 'e') {
    size_t k = at + 1;
    if (k < n && (code[k] == '+' || code[k] == '-'))
      ++k;
    if (k < n && is_digit(code[k])) {
      while (k < n && is_digit(code[k]))
        ++k;
      at = k;
    }
  }
  return at;
}

double number_value(std::string_view text) { return read_double(text).value_or(NAN); }

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common number forms ("12", "-3.25", ".019") read in the same pass that finds their end.
// Returns false when the run has another form (exponent, stray sign or point, too many digits);
// the caller then reads it the general way. The result is the correctly rounded value: a
// mantissa below 2^53 divided by an exact power of ten is one IEEE operation.
bool fast_number(std::string_view code, size_t at, size_t &end, double &value) {
  size_t n = code.size();
  size_t i = at;
  bool negative = false;
  if (i < n && (code[i] == '-' || code[i] == '+')) {
    negative = code[i] == '-';
    ++i;
  }
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  while (i < n && is_digit(code[i])) {
    mantissa = mantissa * 10 + static_cast<uint64_t>(code[i] - '0');
    ++digits;
    ++i;
  }
  if (i < n && code[i] == '.') {
    ++i;
    while (i < n && is_digit(code[i])) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(code[i] - '0');
      ++digits;
      ++fraction;
      ++i;
    }
  }
  if (digits == 0 || digits > 15 || fraction > 22)
    return false;
  if (i < n) {
    char c = code[i];
    if (is_digit(c) || c == '+' || c == '-' || c == '.' || c == 'e')
      return false;
  }
  double v = static_cast<double>(mantissa) / kPow10[fraction];
  value = negative ? -v : v;
  end = i;
  return true;
}

// Finds the end of the number at `at` and reads it (NaN when it does not read).
size_t read_number(std::string_view code, size_t at, double &value) {
  size_t end;
  if (fast_number(code, at, end, value))
    return end;
  end = number_end(code, at);
  value = number_value(code.substr(at, end - at));
  return end;
}

} // namespace

Words scan_words(std::string_view code) {
  Words words;
  size_t n = code.size();
  size_t i = 0;
  while (i < n) {
    uint8_t kind = kWordClass[static_cast<uint8_t>(code[i])];
    if (kind == kNotWord) {
      ++i;
      continue;
    }
    char letter = static_cast<char>(code[i] & ~0x20);
    size_t start = i + 1;
    if (kind == kOtherWord || (kind == kCommandWord && words.command != 0)) {
      i = number_end(code, start);
      continue;
    }
    double v;
    i = read_number(code, start, v);
    if (kind == kCommandWord) {
      words.command = letter;
      words.command_value = v;
    } else if (std::isfinite(v)) {
      int p = kind - 1;
      words.values[p] = v;
      words.given = static_cast<uint8_t>(words.given | (1u << p));
    }
  }
  return words;
}

} // namespace tolm::frontend::gcode
