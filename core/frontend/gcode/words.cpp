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
    i = number_end(code, start);
    if (letter == 'G' || letter == 'M' || letter == 'T') {
      if (words.command == 0) {
        words.command = letter;
        words.command_value = number_value(code.substr(start, i - start));
      }
      continue;
    }
    int p = param_index(letter);
    if (p < 0)
      continue;
    double v = number_value(code.substr(start, i - start));
    if (std::isfinite(v)) {
      words.values[p] = v;
      words.given = static_cast<uint8_t>(words.given | (1u << p));
    }
  }
  return words;
}

} // namespace tolm::frontend::gcode
