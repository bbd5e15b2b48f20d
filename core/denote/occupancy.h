// The occupancy raster, the system's denotation: per layer, the set of grid cells that the
// layer's extrusions cover, every segment drawn as a capsule (see capsule.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "denote/cells.h"
#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::denote {

struct LayerOccupancy {
  int64_t z_um = 0;
  /// The resolution actually used (at least 1).
  int64_t resolution_um = 1;
  CellSet cells;
  friend bool operator==(const LayerOccupancy &, const LayerOccupancy &) = default;
};

struct Occupancy {
  std::vector<LayerOccupancy> layers;
  friend bool operator==(const Occupancy &, const Occupancy &) = default;
};

/// A layer as a 0/1 byte matrix over its cells' bounding box: byte (j - min_j) * cols +
/// (i - min_i) is 1 exactly when cell (i, j) is occupied.
struct DenseLayer {
  std::vector<uint8_t> bytes;
  int64_t z_um = 0;
  int64_t resolution_um = 1;
  int64_t min_i = 0;
  int64_t min_j = 0;
  uint64_t rows = 0;
  uint64_t cols = 0;
};

/// One (polyline, bead width) pair to rasterize.
struct PathRef {
  std::span<const ir::Point> points;
  int64_t width_um = 0;
};

/// The cells of one segment's capsule with bead radius `r` (res at least 1), as a cell set.
CellSet capsule_cells(ir::Point a, ir::Point b, int64_t res, double r);

/// The cell set of one polyline: radius max(width, 0) / 2, a disc for a single point, nothing
/// for no points. `res` must be at least 1.
CellSet path_cells(std::span<const ir::Point> points, int64_t width_um, int64_t res);

/// The occupancy of a list of paths at one Z; res is raised to 1 when below 1.
LayerOccupancy occupancy_of(std::span<const PathRef> paths, int64_t z_um, int64_t res);

/// The (path, width) pairs of a layer's extrusion toolpaths, in toolpath order.
std::vector<PathRef> extrusion_paths(const ir::lo::Layer &layer);

/// The occupancy of one low-level layer (its extrusion toolpaths).
LayerOccupancy occupancy_of_layer(const ir::lo::Layer &layer, int64_t res);

/// The occupancy of every layer of a program, computed in parallel, in layer order.
Occupancy denote_lo(const ir::lo::Program &program, int64_t res);

/// A layer occupancy as a dense matrix (throws std::bad_alloc when it cannot be allocated).
DenseLayer to_dense(const LayerOccupancy &layer);

/// Every layer as a dense matrix, computed serially in layer order.
std::vector<DenseLayer> dense_layers(const ir::lo::Program &program, int64_t res);

/// Writes the occupancy JSON: {"layers": [{"z_um", "resolution_um", "cells": [[i, j], ...]}]}.
void write_occupancy(json::Writer &writer, const Occupancy &occupancy);

} // namespace tolm::denote
