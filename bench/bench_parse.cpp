// Throughput of the G-code parser alone (no JSON): bench_parse FILE [REPEATS]
// Prints one line: "<MB/s> <bytes> <layers> <points>" so bench_parse.py can read it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "frontend/gcode/parser.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_parse FILE [REPEATS]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  double best_s = 1e300;
  uint64_t points = 0, layers = 0;
  for (int r = 0; r < repeats; ++r) {
    auto start = std::chrono::steady_clock::now();
    auto report = tolm::frontend::gcode::parse(text);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (s < best_s)
      best_s = s;
    layers = report.diagnostics.layers;
    points = 0;
    for (const auto &layer : report.program.layers)
      for (const auto &toolpath : layer.toolpaths)
        points += toolpath.path.points.size();
  }
  std::printf("%.1f %zu %llu %llu\n", text.size() / best_s / 1e6, text.size(),
              static_cast<unsigned long long>(layers), static_cast<unsigned long long>(points));
  return 0;
}
