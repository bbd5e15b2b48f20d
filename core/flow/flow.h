// Commanded flow: the filament (mm of E) that extrusion toolpaths command, per Z and per cell.
// Only extrusions that carry a flow count; travels and extrusions without one are ignored.
#pragma once

#include <cstdint>
#include <vector>

#include "denote/cells.h"
#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::flow {

/// E at one Z.
struct ZFlow {
  int64_t z_um = 0;
  double e_mm = 0.0;
  friend bool operator==(const ZFlow &, const ZFlow &) = default;
};

/// E attributed to one cell.
struct CellFlow {
  denote::Cell cell;
  double e_mm = 0.0;
  friend bool operator==(const CellFlow &, const CellFlow &) = default;
};

struct LayerFlow {
  int64_t z_um = 0;
  /// The resolution used (at least 1).
  int64_t resolution_um = 1;
  /// Cells ordered by i, then j.
  std::vector<CellFlow> cells;
};

struct Flow {
  std::vector<LayerFlow> layers;
};

struct FlowStats {
  /// E per distinct Z, ascending Z.
  std::vector<ZFlow> per_layer;
  /// Sum of all extrusion flows in program order, from -0.0.
  double total_e_mm = -0.0;
  uint64_t toolpaths_with_flow = 0;
  uint64_t toolpaths_without_flow = 0;
};

struct FlowConservation {
  /// max(given, 0).
  double tolerance_mm = 0.0;
  double total_a_mm = -0.0;
  double total_b_mm = -0.0;
  /// The largest per-Z difference (a Z missing on one side counts as 0.0).
  double max_layer_diff_mm = 0.0;
  bool conserved = true;
};

/// E per distinct Z in ascending Z: each layer's sum (from -0.0, toolpath order) is added to its
/// Z's entry (from 0.0) in layer order, so a Z without flow reports 0.0.
std::vector<ZFlow> e_per_layer(const ir::lo::Program &program);

/// One layer's flow: each flow-carrying extrusion spreads its E evenly over its cell set.
LayerFlow layer_flow(const ir::lo::Layer &layer, int64_t resolution_um);

/// Every layer's flow, in layer order, on the calling thread.
Flow denote_lo_flow(const ir::lo::Program &program, int64_t resolution_um);

FlowStats flow_stats(const ir::lo::Program &program);

/// Compares `a` and `b` by Z and in total; a negative tolerance acts as 0.
FlowConservation e_conserved_report(const ir::lo::Program &a, const ir::lo::Program &b,
                                    double tolerance_mm);

/// [[z_um, resolution_um, [[i, j, e], ...]], ...].
void write_flow(json::Writer &writer, const Flow &flow);
/// {"total_e_mm", "per_layer": [[z, e], ...], "toolpaths_with_flow", "toolpaths_without_flow"}.
void write_flow_stats(json::Writer &writer, const FlowStats &stats);

} // namespace tolm::flow
