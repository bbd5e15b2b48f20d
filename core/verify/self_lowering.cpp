#include "lower/lower.h"
#include "verify/checks.h"

namespace tolm::verify {

bool self_lowering_sound(const ir::hi::Program &program, int64_t resolution_um) {
  const denote::Occupancy fills = denote_hi(program, resolution_um);
  const ir::lo::Program lowered = lower::lower(program);
  return denote::denote_lo(lowered, resolution_um) == fills;
}

} // namespace tolm::verify
