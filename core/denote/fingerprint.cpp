#include "denote/fingerprint.h"

#include <vector>

#include "hash/fnv1a128.h"

namespace tolm::denote {
namespace {

constexpr uint64_t kOffset64 = 0xcbf29ce484222325ULL;
constexpr uint64_t kPrime64 = 0x100000001b3ULL;

inline uint64_t mix(uint64_t h, int64_t word) {
  return (h ^ static_cast<uint64_t>(word)) * kPrime64;
}

} // namespace

uint64_t fingerprint(const LayerOccupancy &layer) {
  uint64_t h = kOffset64;
  h = mix(h, layer.z_um);
  h = mix(h, layer.resolution_um);
  for (const Cell &cell : layer.cells) {
    h = mix(h, cell.i);
    h = mix(h, cell.j);
  }
  return h;
}

uint128 fold_fingerprints(std::span<const uint64_t> layer_fingerprints) {
  uint128 v = hash::kFnv128Offset;
  for (uint64_t f : layer_fingerprints)
    v = (v ^ f) * hash::kFnv128Prime;
  return v;
}

uint128 material_fingerprint(const ir::lo::Program &program, int64_t resolution_um) {
  const Occupancy occupancy = denote_lo(program, resolution_um);
  std::vector<uint64_t> layer_fingerprints;
  layer_fingerprints.reserve(occupancy.layers.size());
  for (const LayerOccupancy &layer : occupancy.layers)
    layer_fingerprints.push_back(fingerprint(layer));
  return fold_fingerprints(layer_fingerprints);
}

} // namespace tolm::denote
