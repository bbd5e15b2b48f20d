// A small command-line driver over core operations that the Python module does not expose on
// their own (deposit, volume, the travel-order pass). The tests build it against the core
// library and feed it a low-level program on stdin.
//
//   core_driver deposit RES            -> {"layers": [{"z_um", "resolution_um",
//                                           "cells": [[i, j, n]]}]}
//   core_driver volume RES [HEIGHT]    -> {"layers": [{"z_um", "resolution_um",
//                                          "layer_height_um", "cells": [[i, j, mm3]]}]}
//   core_driver travel_order X Y REV   -> the pass's output program
//   core_driver translation DX DY RES  -> true or false
//   core_driver edt_1d                 <- whitespace-separated integers   -> [d, ...]
//   core_driver edt_2d W H MIN_I MIN_J <- whitespace-separated i j pairs  -> [grid, ...]
//   core_driver dist_stats             <- whitespace-separated doubles    -> [mean, p95, max]
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "denote/deposit.h"
#include "diff/dist_stats.h"
#include "diff/edt.h"
#include "ir/json_io.h"
#include "pass/pass.h"
#include "verify/checks.h"

using namespace tolm;

int main(int argc, char **argv) {
  if (argc < 2)
    return 2;
  const std::string command = argv[1];
  const std::string text{std::istreambuf_iterator<char>(std::cin), {}};
  json::Writer writer;
  std::istringstream numbers(text);
  auto write_ints = [&](const std::vector<int64_t> &values) {
    writer.begin_array();
    for (int64_t v : values)
      writer.value(v);
    writer.end_array();
  };
  if (command == "edt_1d") {
    std::vector<int64_t> f;
    for (int64_t v; numbers >> v;)
      f.push_back(v);
    write_ints(diff::edt_1d(f));
  } else if (command == "edt_2d" && argc == 6) {
    denote::CellSet cells;
    for (int64_t i, j; numbers >> i >> j;)
      cells.push_back({i, j});
    write_ints(diff::edt_2d(std::atoll(argv[2]), std::atoll(argv[3]), cells, std::atoll(argv[4]),
                            std::atoll(argv[5])));
  } else if (command == "dist_stats") {
    std::vector<double> values;
    for (double v; numbers >> v;)
      values.push_back(v);
    const diff::DistStats stats = diff::dist_stats(values);
    writer.begin_array();
    writer.value(stats.mean);
    writer.value(stats.p95);
    writer.value(stats.max);
    writer.end_array();
  }
  if (!writer.text().empty()) {
    std::fwrite(writer.text().data(), 1, writer.text().size(), stdout);
    return 0;
  }
  auto program = ir::read_lo_program(text);
  if (!program) {
    std::fprintf(stderr, "bad program\n");
    return 3;
  }
  if (command == "deposit" && argc == 3) {
    const denote::Deposit deposit = denote::denote_lo_deposit(*program, std::atoll(argv[2]));
    writer.begin_object();
    writer.key("layers");
    writer.begin_array();
    for (const auto &layer : deposit.layers) {
      writer.begin_object();
      writer.member("z_um", layer.z_um);
      writer.member("resolution_um", layer.resolution_um);
      writer.key("cells");
      writer.begin_array();
      for (const auto &entry : layer.cells) {
        writer.begin_array();
        writer.value(entry.cell.i);
        writer.value(entry.cell.j);
        writer.value(static_cast<uint64_t>(entry.count));
        writer.end_array();
      }
      writer.end_array();
      writer.end_object();
    }
    writer.end_array();
    writer.end_object();
  } else if (command == "volume" && (argc == 3 || argc == 4)) {
    std::optional<int64_t> height;
    if (argc == 4)
      height = std::atoll(argv[3]);
    const denote::Volume volume = denote::denote_lo_volume(*program, std::atoll(argv[2]), height);
    writer.begin_object();
    writer.key("layers");
    writer.begin_array();
    for (const auto &layer : volume.layers) {
      writer.begin_object();
      writer.member("z_um", layer.z_um);
      writer.member("resolution_um", layer.resolution_um);
      writer.member("layer_height_um", layer.layer_height_um);
      writer.key("cells");
      writer.begin_array();
      for (const auto &entry : layer.cells) {
        writer.begin_array();
        writer.value(entry.cell.i);
        writer.value(entry.cell.j);
        writer.value(entry.volume_mm3);
        writer.end_array();
      }
      writer.end_array();
      writer.end_object();
    }
    writer.end_array();
    writer.end_object();
  } else if (command == "translation" && argc == 5) {
    writer.value(verify::translation_invariant(*program, std::atoll(argv[2]), std::atoll(argv[3]),
                                               std::atoll(argv[4])));
  } else if (command == "travel_order" && argc == 5) {
    pass::TravelOrder settings{{std::atoll(argv[2]), std::atoll(argv[3])}, argv[4][0] == '1'};
    ir::write_lo_program(writer, pass::run(pass::Pass{settings}, std::move(*program)));
  } else {
    return 2;
  }
  std::fwrite(writer.text().data(), 1, writer.text().size(), stdout);
  return 0;
}
