// Applying one action to a program in place. Every test runs before the first change, so a
// refused action leaves the program exactly as it was.
#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "ir/lo.h"
#include "transform/action.h"

namespace tolm::transform {

enum class TransformError : uint8_t {
  InvalidLayer,
  InvalidToolpath,
  InvalidSegment,
  InvalidVertex,
  NotApplicable,
};

/// The error's name, as used in messages ("NotApplicable").
const char *transform_error_name(TransformError error);

/// Applies `action` to `program`; on success the touched layers (always the action's layer).
std::expected<std::vector<uint64_t>, TransformError> apply(const Action &action,
                                                           ir::lo::Program &program);

} // namespace tolm::transform
