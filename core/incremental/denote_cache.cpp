#include "incremental/denote_cache.h"

#include "denote/fingerprint.h"
#include "parallel/pool.h"

namespace tolm::incremental {

DenoteCache DenoteCache::empty(int64_t resolution_um) {
  DenoteCache cache;
  cache.resolution_um = denote::effective_resolution(resolution_um);
  cache.folded = denote::fold_fingerprints({});
  return cache;
}

void DenoteCache::rekey(int64_t resolution_um) { *this = empty(resolution_um); }

void DenoteCache::mark_dirty(uint64_t layer) {
  if (layer >= dirty.size() || dirty[layer])
    return;
  dirty[layer] = 1;
  ++dirty_count;
}

std::span<const denote::LayerOccupancy> DenoteCache::occupancy(const ir::lo::Program &program) {
  const size_t n = program.layers.size();
  if (layers.size() != n) {
    layers = denote::denote_lo(program, resolution_um).layers;
    dirty.assign(n, 0);
    dirty_count = 0;
    fingerprints.clear();
    fingerprints.reserve(n);
    for (const denote::LayerOccupancy &layer : layers)
      fingerprints.push_back(denote::fingerprint(layer));
    folded = denote::fold_fingerprints(fingerprints);
    return layers;
  }
  if (dirty_count == 0)
    return layers;

  std::vector<size_t> flagged;
  flagged.reserve(dirty_count);
  for (size_t i = 0; i < n; ++i)
    if (dirty[i])
      flagged.push_back(i);

  auto rasterize = [&](size_t k) {
    return denote::occupancy_of_layer(program.layers[flagged[k]], resolution_um);
  };
  if (flagged.size() == 1) {
    // A single edited layer is the common case; it needs no hand-off to the pool.
    layers[flagged[0]] = rasterize(0);
  } else {
    std::vector<denote::LayerOccupancy> fresh = parallel::map(flagged.size(), rasterize);
    for (size_t k = 0; k < flagged.size(); ++k)
      layers[flagged[k]] = std::move(fresh[k]);
  }
  for (size_t i : flagged) {
    fingerprints[i] = denote::fingerprint(layers[i]);
    dirty[i] = 0;
  }
  dirty_count = 0;
  folded = denote::fold_fingerprints(fingerprints);
  return layers;
}

} // namespace tolm::incremental
