#include "binding/readers.h"

#include "binding/errors.h"
#include "ir/json_io.h"

namespace tolm::py {

std::optional<ir::hi::Program> parse_hi(std::string_view text) {
  auto program = ir::read_hi_program(text);
  if (!program) {
    raise_read_error(kHiPrefix, program.error());
    return std::nullopt;
  }
  return std::move(*program);
}

std::optional<ir::lo::Program> parse_lo(std::string_view text) {
  auto program = ir::read_lo_program(text);
  if (!program) {
    raise_read_error(kLoPrefix, program.error());
    return std::nullopt;
  }
  return std::move(*program);
}

} // namespace tolm::py
