// Why a versioned artifact did not load.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace tolm::schema {

/// The text is not an envelope, or its payload is not a low-level program; the reader's text.
struct Malformed {
  std::string reader_error;
};

/// The envelope states a schema version this build does not read.
struct UnsupportedVersion {
  uint32_t found = 0;
  uint32_t supported = 0;
};

/// The envelope holds something other than a low-level program.
struct KindMismatch {
  std::string found;
  std::string expected;
};

using SchemaError = std::variant<Malformed, UnsupportedVersion, KindMismatch>;

/// The error's message, as the module functions report it.
std::string message(const SchemaError &error);

} // namespace tolm::schema
