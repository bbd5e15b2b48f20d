// Rasterizes a generated plan (LAYERS layers, SEGMENTS segments in all) with the work pool and
// prints "seconds cells segments peak_rss_delta_bytes". Usage: bench_occupancy [LAYERS SEGMENTS]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "denote/occupancy.h"

namespace {

long peak_rss_bytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

// A layer of serpentine infill inside a 150 mm square: strokes 0.45 mm apart, each split into
// segments of a few millimetres, plus a perimeter.
tolm::ir::lo::Program make_plan(int layers, long segments) {
  using namespace tolm::ir;
  lo::Program program;
  const long per_layer = segments / layers;
  for (int l = 0; l < layers; ++l) {
    lo::Layer layer;
    layer.z_um = 200 * (l + 1);
    lo::Toolpath infill;
    infill.kind = lo::Extrude{RegionKind::Infill};
    infill.width_um = 450;
    const int64_t side = 150000, step = 450, seg = 3000;
    int64_t y = (l % 2) * 200, x = 0;
    int direction = 1;
    infill.path.points.push_back(Point{x, y});
    for (long s = 1; s < per_layer; ++s) {
      int64_t next = x + direction * seg;
      if (next > side || next < 0) {
        y += step;
        direction = -direction;
        if (y > side)
          y = (l % 2) * 200;
      } else {
        x = next;
      }
      infill.path.points.push_back(Point{x, y});
    }
    layer.toolpaths.push_back(std::move(infill));
    program.layers.push_back(std::move(layer));
  }
  return program;
}

} // namespace

int main(int argc, char **argv) {
  const int layers = argc > 1 ? std::stoi(argv[1]) : 200;
  const long segments = argc > 2 ? std::stol(argv[2]) : 1000000;
  auto program = make_plan(layers, segments);
  // Warm the pool and the allocator on a small plan first.
  (void)tolm::denote::denote_lo(make_plan(4, 4000), 200);
  const long rss_before = peak_rss_bytes();
  auto start = std::chrono::steady_clock::now();
  auto occupancy = tolm::denote::denote_lo(program, 200);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long rss_after = peak_rss_bytes();
  size_t cells = 0;
  for (const auto &layer : occupancy.layers)
    cells += layer.cells.size();
  std::printf("%.6f %zu %ld %ld\n", seconds, cells, segments, rss_after - rss_before);
  return 0;
}
