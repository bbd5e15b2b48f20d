// Internal invariant failures. Valid input never trips these; the module frame turns the
// exception into a dedicated Python BaseException instead of crashing the interpreter.
#pragma once

#include <stdexcept>
#include <string>

namespace tolm {

/// Thrown only when the core's own invariants are broken.
class InternalAbort : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

[[noreturn]] inline void internal_abort(const std::string &what) { throw InternalAbort(what); }

} // namespace tolm

#define TOLM_CHECK(condition)                                                                      \
  do {                                                                                             \
    if (!(condition))                                                                              \
      ::tolm::internal_abort(std::string("internal check failed: " #condition " at ") + __FILE__ + \
                             ":" + std::to_string(__LINE__));                                      \
  } while (0)
