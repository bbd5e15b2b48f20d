// Core emission and content-hash throughput on a generated plan, without the Python boundary
// or JSON reading: to_gcode_with (MB/s of G-code) and canonical_hash_u128 (MB/s of the canonical
// byte stream), side by side with the time to read the plan's JSON.
//
//   cmake -S . -B build -DTOLM_BUILD_BENCH=ON && cmake --build build --target bench_emit_core
//   build/bench_emit_core [segments]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "backend/gcode.h"
#include "hash/canonical.h"
#include "ir/json_io.h"

using namespace tolm;

namespace {

ir::lo::Program generate(size_t segments) {
  std::mt19937_64 rng(1);
  ir::lo::Program program;
  size_t made = 0;
  int64_t z = 0;
  while (made < segments) {
    ir::lo::Layer &layer = program.layers.emplace_back();
    layer.z_um = z += 200;
    for (int t = 0; t < 1000; ++t) {
      ir::lo::Toolpath &path = layer.toolpaths.emplace_back();
      path.kind = ir::lo::Extrude{static_cast<ir::RegionKind>(t % 4)};
      path.width_um = 400 + 20 * (t % 2);
      if (t % 3 == 0)
        path.flow_e = 0.37;
      int64_t x = static_cast<int64_t>(rng() % 200000), y = static_cast<int64_t>(rng() % 200000);
      for (int k = 0; k <= 10; ++k)
        path.path.points.push_back(
            {x + k * 400, y + (k % 2) * static_cast<int64_t>(rng() % 20000)});
      made += 10;
      ir::lo::Toolpath &hop = layer.toolpaths.emplace_back();
      hop.path.points = {path.path.points.back(), {x + 7, y + 9}};
    }
  }
  return program;
}

template <class F> double best_seconds(int repeat, F &&f) {
  double best = 1e300;
  for (int r = 0; r < repeat; ++r) {
    // Process CPU time: the machine is shared, and wall time would count other programs' turns.
    std::clock_t start = std::clock();
    f();
    best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
  }
  return best;
}

} // namespace

int main(int argc, char **argv) {
  size_t segments = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'200'000;
  ir::lo::Program program = generate(segments);
  std::string json = ir::to_json(program);

  size_t gcode_bytes = 0, stream_bytes = 8;
  for (const auto &layer : program.layers) {
    stream_bytes += 17;
    for (const auto &path : layer.toolpaths)
      stream_bytes += (ir::lo::is_travel(path) ? 2 : 12 + (path.flow_e ? 9 : 1)) + 8 +
                      16 * path.path.points.size();
  }
  uint128 digest = 0;
  double t_emit = best_seconds(5, [&] {
    gcode_bytes = backend::to_gcode_with(program, backend::EmitSettings::standard()).size();
  });
  double t_hash = best_seconds(5, [&] { digest = hash::canonical_hash_u128(program); });
  double t_read = best_seconds(5, [&] { (void)ir::read_lo_program(json); });
  std::printf("segments %zu\n", segments);
  std::printf("to_gcode_with:      %.1f MB in %.3f s = %.0f MB/s\n", gcode_bytes / 1e6, t_emit,
              gcode_bytes / 1e6 / t_emit);
  std::printf("canonical hash:     %.1f MB stream in %.3f s = %.0f MB/s\n", stream_bytes / 1e6,
              t_hash, stream_bytes / 1e6 / t_hash);
  std::printf("read the plan JSON: %.1f MB in %.3f s; ratios emit/read %.2f, hash/read %.2f "
              "(digest low bits %llx)\n",
              json.size() / 1e6, t_read, t_emit / t_read, t_hash / t_read,
              static_cast<unsigned long long>(digest & 0xffff));
}
