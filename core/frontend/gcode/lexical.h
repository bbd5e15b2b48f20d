// Lexical helpers of the G-code reader: Unicode whitespace and decimal numbers.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tolm::frontend::gcode {

/// Length in bytes of the Unicode whitespace character starting at `text[at]` (UTF-8), or 0.
size_t whitespace_len(std::string_view text, size_t at);

/// `text` without leading and trailing Unicode whitespace.
std::string_view trim(std::string_view text);

/// The whole text read as a double: an optional sign, then decimal digits with an optional point
/// and exponent ("1", "-.5", "2.", "1E3"), or inf, infinity, nan (any case). Values beyond the
/// double range read as infinities, tiny ones as zero. Anything else (also "") does not read.
std::optional<double> read_double(std::string_view text);

/// The trimmed text read as a double, given only when it reads and is finite.
std::optional<double> parse_mm(std::string_view text);

} // namespace tolm::frontend::gcode
