// The travel graph: toolpath centroids as nodes, hops between consecutive toolpaths of a layer
// as edges weighted by the distance from one toolpath's end to the next one's start.
#pragma once

#include <cstdint>
#include <vector>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::feature {

struct GraphNode {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

struct GraphEdge {
  /// Node positions over the whole plan.
  uint32_t from = 0;
  uint32_t to = 0;
  /// Straight distance in µm from the `from` toolpath's last point to the `to` toolpath's first.
  double weight = 0.0;
};

struct TravelGraph {
  std::vector<GraphNode> nodes;
  std::vector<GraphEdge> edges;
};

/// One node per toolpath with points (travels too); toolpaths without points are skipped and
/// do not break a layer's chain.
TravelGraph travel_graph(const ir::lo::Program &program);

/// {"nodes": [[x, y, z], ...], "edges": [[from, to, weight], ...]}.
void write_travel_graph(json::Writer &writer, const TravelGraph &graph);

} // namespace tolm::feature
