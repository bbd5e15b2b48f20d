#include "schema/schema_error.h"

namespace tolm::schema {

std::string message(const SchemaError &error) {
  if (const auto *malformed = std::get_if<Malformed>(&error))
    return "malformed versioned artifact: " + malformed->reader_error;
  if (const auto *version = std::get_if<UnsupportedVersion>(&error))
    return "schema version " + std::to_string(version->found) +
           " is not supported (this build reads version " + std::to_string(version->supported) +
           "); migrate the artifact rather than loading it blindly";
  const auto &kind = std::get<KindMismatch>(error);
  return "expected a " + kind.expected + " artifact, found " + kind.found;
}

} // namespace tolm::schema
