// Module functions of the occupancy raster, and the version.
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "denote/occupancy.h"
#include "json/writer.h"

namespace tolm::py {

namespace {

PyObject *occupancy(Call &call) {
  std::string_view program_json;
  int64_t resolution_um;
  if (!call.str(0, program_json) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  denote::Occupancy result = denote::denote_lo(*program, resolution_um);
  size_t cells = 0;
  for (const auto &layer : result.layers)
    cells += layer.cells.size();
  // Each cell spans four lines of indented text.
  json::Writer writer(128 + result.layers.size() * 96 + cells * 72);
  denote::write_occupancy(writer, result);
  return to_str(writer.text());
}

PyObject *occupancy_grid(Call &call) {
  std::string_view program_json;
  uint64_t layer;
  int64_t resolution_um;
  if (!call.str(0, program_json) || !call.u64(1, layer) || !call.i64(2, resolution_um, 200))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  std::vector<denote::DenseLayer> layers = denote::dense_layers(*program, resolution_um);
  if (layer >= layers.size())
    return raise_value_error("layer index out of range");
  const denote::DenseLayer &dense = layers[layer];
  return to_tuple({to_uint(dense.rows), to_uint(dense.cols), to_int(dense.min_i),
                   to_int(dense.min_j), to_bytes(dense.bytes)});
}

PyObject *version(Call &) { return to_str(TOLM_VERSION); }

} // namespace

TOLM_FUNCTION(occupancy, "occupancy(program_json, resolution_um=200)",
              "The deposited-material occupancy of a low-level program (JSON) at a resolution: "
              "per-layer occupied\n"
              "cells (`[[x, y], ...]`). Useful as a spatial observation/feature, for custom "
              "metrics, or drawing.");

TOLM_FUNCTION(occupancy_grid, "occupancy_grid(program_json, layer, resolution_um=200)",
              "Dense 0/1 occupancy raster for one layer of a program (JSON): `(rows, cols, "
              "min_i, min_j, bytes)`.");

TOLM_FUNCTION(version, "version()", "The version of the core library.");

} // namespace tolm::py
