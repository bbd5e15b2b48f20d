// The words of one line of G-code: the command and the parameters D, E, I, J, R, X, Y, Z.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

namespace tolm::frontend::gcode {

/// Parameters the parser uses, in letter order.
enum Param : uint8_t { kD, kE, kI, kJ, kR, kX, kY, kZ, kParamCount };

struct Words {
  /// 'G', 'M' or 'T' of the first command word; 0 when the line has none.
  char command = 0;
  /// The command word's number (NaN when it does not read).
  double command_value = NAN;
  /// Finite parameter values as written (before unit scaling); a later word overrides.
  double values[kParamCount] = {};
  uint8_t given = 0;

  bool has(Param p) const { return (given >> p) & 1; }
  double get(Param p) const { return values[p]; }
};

/// Reads the words of a code text: every ASCII letter starts a word (upper-cased); its number is
/// the longest run of digits, '+', '-' and '.', continued by a lower-case "e" exponent only after
/// a digit and before an optional sign and a digit. An upper-case "E" always starts a new word,
/// so "G1E5" is G1 with E5.
Words scan_words(std::string_view code);

} // namespace tolm::frontend::gcode
