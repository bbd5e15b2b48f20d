#include "frontend/gcode/words.h"

#include "frontend/gcode/lexical.h"

namespace tolm::frontend::gcode {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return static_cast<unsigned char>((c | 0x20) - 'a') < 26; }

int param_index(char upper) {
  switch (upper) {
  case 'D':
    return kD;
  case 'E':
    return kE;
  case 'I':
    return kI;
  case 'J':
    return kJ;
  case 'R':
    return kR;
  case 'X':
    return kX;
  case 'Y':
    return kY;
  case 'Z':
    return kZ;
  default:
    return -1;
  }
}

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

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
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
    char c = code[i];
    if (!is_letter(c)) {
      ++i;
      continue;
    }
    char letter = static_cast<char>(c & ~0x20);
    size_t start = i + 1;
    bool command = letter == 'G' || letter == 'M' || letter == 'T';
    int p = param_index(letter);
    if ((command && words.command != 0) || (!command && p < 0)) {
      i = number_end(code, start);
      continue;
    }
    double v;
    i = read_number(code, start, v);
    if (command) {
      words.command = letter;
      words.command_value = v;
      continue;
    }
    if (std::isfinite(v)) {
      words.values[p] = v;
      words.given = static_cast<uint8_t>(words.given | (1u << p));
    }
  }
  return words;
}

} // namespace tolm::frontend::gcode
