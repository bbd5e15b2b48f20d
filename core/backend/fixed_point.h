// Fixed-point decimal text for the emitter: correctly rounded from the double's exact value,
// ties to even, a negative value keeping its minus sign (so -0.000001 is "-0.00000").
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolm::backend {

/// Longest text either writer produces (a double near its maximum with 5 decimals).
inline constexpr size_t kMaxFixedChars = 330;

/// Writes `um` / 1000 (as a double) with exactly 3 decimals at `out`; returns the end.
char *write_mm3(char *out, int64_t um);
/// Writes `v` with exactly 5 decimals at `out`; returns the end. `v` must be finite.
char *write_fixed5(char *out, double v);
/// Writes `v` in decimal at `out`; returns the end.
char *write_int(char *out, int64_t v);

} // namespace tolm::backend
