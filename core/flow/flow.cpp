#include "flow/flow.h"

#include <algorithm>
#include <cmath>

#include "denote/occupancy.h"
#include "json/writer.h"

namespace tolm::flow {
namespace {

inline bool carries_flow(const ir::lo::Toolpath &toolpath) {
  return ir::lo::is_extrude(toolpath) && toolpath.flow_e.has_value();
}

double total_e(const ir::lo::Program &program) {
  double total = -0.0;
  for (const ir::lo::Layer &layer : program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
      if (carries_flow(toolpath))
        total += *toolpath.flow_e;
  return total;
}

} // namespace

std::vector<ZFlow> e_per_layer(const ir::lo::Program &program) {
  std::vector<ZFlow> sums;
  sums.reserve(program.layers.size());
  for (const ir::lo::Layer &layer : program.layers) {
    double sum = -0.0;
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
      if (carries_flow(toolpath))
        sum += *toolpath.flow_e;
    sums.push_back(ZFlow{layer.z_um, sum});
  }
  // Layers sharing a Z are added in layer order, which the stable sort keeps.
  std::stable_sort(sums.begin(), sums.end(),
                   [](const ZFlow &l, const ZFlow &r) { return l.z_um < r.z_um; });
  std::vector<ZFlow> out;
  for (const ZFlow &layer : sums) {
    if (out.empty() || out.back().z_um != layer.z_um)
      out.push_back(ZFlow{layer.z_um, 0.0});
    out.back().e_mm += layer.e_mm;
  }
  return out;
}

LayerFlow layer_flow(const ir::lo::Layer &layer, int64_t resolution_um) {
  const int64_t res = denote::effective_resolution(resolution_um);
  LayerFlow out{layer.z_um, res, {}};
  // Every share in toolpath order; a stable sort by cell then adds each cell's shares in
  // toolpath order, as adding them into an ordered map would.
  std::vector<CellFlow> shares;
  size_t paths = 0;
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
    if (!carries_flow(toolpath))
      continue;
    const denote::CellSet cells = denote::path_cells(toolpath.path.points, toolpath.width_um, res);
    if (cells.empty())
      continue;
    const double share = *toolpath.flow_e / static_cast<double>(cells.size());
    for (const denote::Cell &cell : cells)
      shares.push_back(CellFlow{cell, share});
    ++paths;
  }
  if (paths > 1)
    std::stable_sort(shares.begin(), shares.end(),
                     [](const CellFlow &l, const CellFlow &r) { return l.cell < r.cell; });
  for (const CellFlow &share : shares) {
    if (out.cells.empty() || out.cells.back().cell != share.cell)
      out.cells.push_back(CellFlow{share.cell, 0.0});
    out.cells.back().e_mm += share.e_mm;
  }
  return out;
}

Flow denote_lo_flow(const ir::lo::Program &program, int64_t resolution_um) {
  Flow flow;
  flow.layers.reserve(program.layers.size());
  for (const ir::lo::Layer &layer : program.layers)
    flow.layers.push_back(layer_flow(layer, resolution_um));
  return flow;
}

FlowStats flow_stats(const ir::lo::Program &program) {
  FlowStats stats;
  for (const ir::lo::Layer &layer : program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      if (!ir::lo::is_extrude(toolpath))
        continue;
      if (toolpath.flow_e) {
        ++stats.toolpaths_with_flow;
        stats.total_e_mm += *toolpath.flow_e;
      } else {
        ++stats.toolpaths_without_flow;
      }
    }
  stats.per_layer = e_per_layer(program);
  return stats;
}

FlowConservation e_conserved_report(const ir::lo::Program &a, const ir::lo::Program &b,
                                    double tolerance_mm) {
  FlowConservation report;
  const std::vector<ZFlow> ea = e_per_layer(a), eb = e_per_layer(b);
  // Both lists ascend by Z: walk them together; a Z on one side only compares against 0.0.
  double worst = 0.0;
  auto consider = [&](double diff) {
    // A NaN difference is kept, so that it can never pass as conserved.
    if (!(diff <= worst))
      worst = diff;
  };
  size_t i = 0, j = 0;
  while (i < ea.size() || j < eb.size()) {
    if (j == eb.size() || (i < ea.size() && ea[i].z_um < eb[j].z_um)) {
      consider(std::fabs(ea[i++].e_mm - 0.0));
    } else if (i == ea.size() || eb[j].z_um < ea[i].z_um) {
      consider(std::fabs(0.0 - eb[j++].e_mm));
    } else {
      consider(std::fabs(ea[i++].e_mm - eb[j++].e_mm));
    }
    if (std::isnan(worst))
      break;
  }
  report.max_layer_diff_mm = worst;
  report.total_a_mm = total_e(a);
  report.total_b_mm = total_e(b);
  report.tolerance_mm = tolerance_mm > 0 ? tolerance_mm : 0.0;
  report.conserved = report.max_layer_diff_mm <= report.tolerance_mm &&
                     std::fabs(report.total_a_mm - report.total_b_mm) <= report.tolerance_mm;
  return report;
}

void write_flow(json::Writer &writer, const Flow &flow) {
  writer.begin_array();
  for (const LayerFlow &layer : flow.layers) {
    writer.begin_array();
    writer.value(layer.z_um);
    writer.value(layer.resolution_um);
    writer.begin_array();
    for (const CellFlow &cell : layer.cells) {
      writer.begin_array();
      writer.value(cell.cell.i);
      writer.value(cell.cell.j);
      writer.value(cell.e_mm);
      writer.end_array();
    }
    writer.end_array();
    writer.end_array();
  }
  writer.end_array();
}

void write_flow_stats(json::Writer &writer, const FlowStats &stats) {
  writer.begin_object();
  writer.member("total_e_mm", stats.total_e_mm);
  writer.key("per_layer");
  writer.begin_array();
  for (const ZFlow &z : stats.per_layer) {
    writer.begin_array();
    writer.value(z.z_um);
    writer.value(z.e_mm);
    writer.end_array();
  }
  writer.end_array();
  writer.member("toolpaths_with_flow", stats.toolpaths_with_flow);
  writer.member("toolpaths_without_flow", stats.toolpaths_without_flow);
  writer.end_object();
}

} // namespace tolm::flow
