// Throughput of the G-code parser alone (no JSON): bench_parse FILE [REPEATS]
// Prints one line "<MB/s wall> <MB/s on-CPU> <bytes> <layers> <toolpaths> <points> <peak_rss_kib>
// <rss_before_kib>" for bench_parse.py; the peak RSS is measured from after loading the text.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "frontend/gcode/parser.h"

namespace {
/// A "VmRSS" or "VmHWM" figure of /proc/self/status in KiB (0 when unavailable).
long status_kib(const char *field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with(field))
      return std::atol(line.c_str() + std::char_traits<char>::length(field) + 1);
  return 0;
}
/// CPU time of this thread: unlike wall time, not stretched when other processes share the cores.
double thread_cpu_s() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
/// Starts a new peak-RSS measurement (VmHWM falls back to the current RSS).
void reset_peak_rss() { std::ofstream("/proc/self/clear_refs") << "5"; }
} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_parse FILE [REPEATS]\n");
    return 2;
  }
  std::string text;
  {
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    text.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
  }
  long before_kib = status_kib("VmRSS");
  reset_peak_rss();
  int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  double best_s = 1e300;
  double best_cpu_s = 1e300;
  unsigned long long points = 0, toolpaths = 0, layers = 0;
  for (int r = 0; r < repeats; ++r) {
    double cpu_start = thread_cpu_s();
    auto start = std::chrono::steady_clock::now();
    auto report = tolm::frontend::gcode::parse(text);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best_s = std::min(best_s, s);
    best_cpu_s = std::min(best_cpu_s, thread_cpu_s() - cpu_start);
    layers = report.diagnostics.layers;
    toolpaths = report.diagnostics.extruding_toolpaths + report.diagnostics.travel_toolpaths;
    points = 0;
    for (const auto &layer : report.program.layers)
      for (const auto &toolpath : layer.toolpaths)
        points += toolpath.path.points.size();
  }
  std::printf("%.1f %.1f %zu %llu %llu %llu %ld %ld\n", text.size() / best_s / 1e6,
              text.size() / best_cpu_s / 1e6, text.size(), layers, toolpaths, points,
              status_kib("VmHWM"), before_kib);
  return 0;
}
