#include "schema/schema_error.h"

namespace tolm::schema {

std::string message(const SchemaError &error) {
  std::string out;
  if (const auto *malformed = std::get_if<Malformed>(&error)) {
    out.append("malformed versioned artifact: ").append(malformed->reader_error);
  } else if (const auto *version = std::get_if<UnsupportedVersion>(&error)) {
    out.append("schema version ")
        .append(std::to_string(version->found))
        .append(" is not supported (this build reads version ")
        .append(std::to_string(version->supported))
        .append("); migrate the artifact rather than loading it blindly");
  } else {
    const auto &kind = std::get<KindMismatch>(error);
    out.append("expected a ").append(kind.expected).append(" artifact, found ").append(kind.found);
  }
  return out;
}

} // namespace tolm::schema
