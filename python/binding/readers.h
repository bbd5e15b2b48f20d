// The shared JSON argument readers of the module functions: each reads one JSON text into a
// record, or sets ValueError with its fixed prefix followed by the reader's error text.
#pragma once

#include <optional>
#include <string_view>

#include "ir/hi.h"
#include "ir/lo.h"

namespace tolm::py {

inline constexpr std::string_view kHiPrefix =
    "expected a HIGH-LEVEL program JSON (layers of regions with fills, e.g. from "
    "demo_square_json()); ";
inline constexpr std::string_view kLoPrefix =
    "expected a LOW-LEVEL program JSON (layers of toolpaths, e.g. from lower_to_json() or "
    "parse_gcode()); ";

std::optional<ir::hi::Program> parse_hi(std::string_view text);
std::optional<ir::lo::Program> parse_lo(std::string_view text);

} // namespace tolm::py
