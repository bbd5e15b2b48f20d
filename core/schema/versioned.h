// The versioned artifact: a low-level program wrapped in an envelope stating its kind and schema
// version, so that a later build refuses what it does not understand instead of guessing.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "ir/lo.h"
#include "schema/schema_error.h"

namespace tolm::schema {

inline constexpr uint32_t kSchemaVersion = 1;
inline constexpr std::string_view kLoProgramKind = "tolm.lo.program";

/// The artifact text: "schema_version", "kind" and "program", pretty-printed; inside "program"
/// object members appear in name order.
std::string export_lo(const ir::lo::Program &program);

/// Loads an artifact: a text that does not read as an envelope is `Malformed`, then a version
/// other than 1 is `UnsupportedVersion`, then a kind other than "tolm.lo.program" is
/// `KindMismatch`, then a payload that is not a low-level program is `Malformed` (its reader
/// text without a position).
std::expected<ir::lo::Program, SchemaError> import_lo(std::string_view text);

} // namespace tolm::schema
