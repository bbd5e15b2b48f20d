// Times reading a low-level program JSON text (already in memory) into records, and writing the
// records back as pretty JSON. Usage: bench_json FILE [REPEATS]. Prints "read_s write_s bytes".
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ir/json_io.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_json FILE [REPEATS]\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::stringstream buffer;
  buffer << file.rdbuf();
  const std::string text = buffer.str();
  const int repeats = argc > 2 ? std::stoi(argv[2]) : 3;
  using clock = std::chrono::steady_clock;

  double best_read = 1e30, best_write = 1e30;
  size_t written = 0;
  for (int k = 0; k < repeats; ++k) {
    auto start = clock::now();
    auto program = tolm::ir::read_lo_program(text);
    double read_s = std::chrono::duration<double>(clock::now() - start).count();
    if (!program) {
      std::fprintf(stderr, "%s\n", program.error().message.c_str());
      return 1;
    }
    start = clock::now();
    std::string out = tolm::ir::to_json(*program);
    double write_s = std::chrono::duration<double>(clock::now() - start).count();
    written = out.size();
    best_read = std::min(best_read, read_s);
    best_write = std::min(best_write, write_s);
  }
  std::printf("%.6f %.6f %zu %zu\n", best_read, best_write, text.size(), written);
  return 0;
}
