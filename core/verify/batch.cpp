#include "verify/batch.h"

#include "denote/occupancy.h"
#include "parallel/pool.h"

namespace tolm::verify {

std::vector<bool> verify_batch(std::span<const ir::lo::Program> candidates,
                               const ir::lo::Program &reference, int64_t resolution_um) {
  const denote::Occupancy expected = denote::denote_lo(reference, resolution_um);
  // vector<bool> packs bits, so tasks write into bytes and the flags are copied out after.
  const std::vector<char> same = parallel::map(candidates.size(), [&](size_t index) -> char {
    const ir::lo::Program &candidate = candidates[index];
    if (candidate.layers.size() != expected.layers.size())
      return 0;
    return denote::denote_lo(candidate, resolution_um) == expected ? 1 : 0;
  });
  return std::vector<bool>(same.begin(), same.end());
}

} // namespace tolm::verify
