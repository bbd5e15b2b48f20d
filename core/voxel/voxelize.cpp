#include "voxel/voxelize.h"

#include <algorithm>
#include <new>
#include <span>

#include <unistd.h>

#include "denote/occupancy.h"
#include "parallel/pool.h"
#include "util/numeric.h"
#include "voxel/key_sort.h"

namespace tolm::voxel {

namespace {

/// The vertical indices [begin, end) that one layer fills.
struct KRange {
  int64_t begin = 0;
  int64_t end = 0;
};

/// One layer's cell (i, j) filled over [k_begin, k_end).
struct Run {
  int64_t i = 0;
  int64_t j = 0;
  int64_t k_begin = 0;
  int64_t k_end = 0;
};

int128 floor_div128(int128 n, int128 d) {
  int128 q = n / d;
  if (n % d != 0 && n < 0)
    --q;
  return q;
}

// From floor((z - h) / res) up to max(floor(z / res), that + 1), exclusive; h at least 1. The
// difference is taken in 128 bits so that extreme heights cannot wrap.
KRange layer_k_range(int64_t z_um, int128 height_um, int64_t res) {
  const int128 h = height_um < 1 ? int128{1} : height_um;
  const int128 bottom = floor_div128(int128{z_um} - h, res);
  // bottom <= floor((z - 1) / res) < INT64_MAX, so only the lower limit can be passed.
  const int64_t begin = bottom < int128{kInt64Min} ? kInt64Min : static_cast<int64_t>(bottom);
  const int64_t top = floor_div(z_um, res);
  return KRange{begin, std::max(top, begin + 1)};
}

} // namespace

VoxelSet voxelize(const ir::lo::Program &program, int64_t resolution_um,
                  std::optional<int64_t> layer_height_um) {
  const int64_t res = denote::effective_resolution(resolution_um);
  const std::vector<ir::lo::Layer> &layers = program.layers;

  std::vector<KRange> k_ranges(layers.size());
  for (size_t l = 0; l < layers.size(); ++l) {
    int128 height;
    if (layer_height_um)
      height = *layer_height_um;
    else if (l == 0)
      height = layers[0].z_um;
    else
      height = int128{layers[l].z_um} - int128{layers[l - 1].z_um};
    k_ranges[l] = layer_k_range(layers[l].z_um, height, res);
  }

  std::vector<denote::LayerOccupancy> occupancy = parallel::map(
      layers.size(), [&](size_t l) { return denote::occupancy_of_layer(layers[l], res); });

  size_t run_count = 0;
  for (const denote::LayerOccupancy &layer : occupancy)
    run_count += layer.cells.size();
  std::vector<Run> runs;
  runs.reserve(run_count);
  for (size_t l = 0; l < occupancy.size(); ++l) {
    for (const denote::Cell &cell : occupancy[l].cells)
      runs.push_back({cell.i, cell.j, k_ranges[l].begin, k_ranges[l].end});
    occupancy[l].cells = {};
  }

  // Each layer's cells come ordered by (i, j); two stable passes group every column's runs
  // together in layer order.
  std::vector<Run> scratch;
  stable_sort_by_key(std::span(runs), scratch, [](const Run &r) { return r.j; });
  stable_sort_by_key(std::span(runs), scratch, [](const Run &r) { return r.i; });
  scratch = {};

  // First pass: order each column's runs by their start (already so when Z rises) and count
  // the voxels of their union.
  uint128 total = 0;
  for (size_t begin = 0; begin < runs.size();) {
    size_t end = begin + 1;
    while (end < runs.size() && runs[end].i == runs[begin].i && runs[end].j == runs[begin].j)
      ++end;
    auto by_start = [](const Run &a, const Run &b) { return a.k_begin < b.k_begin; };
    if (!std::is_sorted(runs.begin() + begin, runs.begin() + end, by_start))
      std::sort(runs.begin() + begin, runs.begin() + end, by_start);
    int64_t next = runs[begin].k_begin;
    for (size_t r = begin; r < end; ++r) {
      const int64_t from = std::max(next, runs[r].k_begin);
      if (from < runs[r].k_end) {
        total += static_cast<uint64_t>(runs[r].k_end) - static_cast<uint64_t>(from);
        next = runs[r].k_end;
      }
    }
    begin = end;
  }

  // Filling a set larger than the machine's memory would not fail cleanly (the pages are only
  // claimed while writing): refuse it up front.
  VoxelSet out;
  const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
  const uint128 memory = pages > 0 && page_size > 0
                             ? static_cast<uint128>(pages) * static_cast<uint128>(page_size)
                             : static_cast<uint128>(out.max_size()) * sizeof(Voxel);
  if (total > out.max_size() || total * sizeof(Voxel) > memory)
    throw std::bad_alloc();
  out.reserve(static_cast<size_t>(total));
  for (size_t begin = 0; begin < runs.size();) {
    size_t end = begin + 1;
    while (end < runs.size() && runs[end].i == runs[begin].i && runs[end].j == runs[begin].j)
      ++end;
    int64_t next = runs[begin].k_begin;
    for (size_t r = begin; r < end; ++r) {
      const int64_t from = std::max(next, runs[r].k_begin);
      if (from < runs[r].k_end) {
        for (int64_t k = from; k < runs[r].k_end; ++k)
          out.push_back({runs[r].i, runs[r].j, k});
        next = runs[r].k_end;
      }
    }
    begin = end;
  }
  return out;
}

} // namespace tolm::voxel
