#include "feature/travel_graph.h"

#include <cmath>

#include "util/numeric.h"
#include "json/writer.h"

namespace tolm::feature {

TravelGraph travel_graph(const ir::lo::Program &program) {
  TravelGraph graph;
  uint32_t counter = 0;
  for (const ir::lo::Layer &layer : program.layers) {
    bool has_previous = false;
    ir::Point previous_end{};
    uint32_t previous_node = 0;
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      const auto &points = toolpath.path.points;
      if (points.empty())
        continue;
      int128 sum_x = 0, sum_y = 0;
      for (const ir::Point &p : points) {
        sum_x += p.x;
        sum_y += p.y;
      }
      const double count = static_cast<double>(points.size());
      graph.nodes.push_back(GraphNode{static_cast<double>(sum_x) / count,
                                      static_cast<double>(sum_y) / count,
                                      static_cast<double>(layer.z_um)});
      if (has_previous) {
        const ir::Point start = points.front();
        // The differences can exceed 64 bits only for coordinates near the integer limits.
        const double dx = static_cast<double>(static_cast<int128>(start.x) - previous_end.x);
        const double dy = static_cast<double>(static_cast<int128>(start.y) - previous_end.y);
        graph.edges.push_back(GraphEdge{previous_node, counter, std::sqrt(dx * dx + dy * dy)});
      }
      has_previous = true;
      previous_end = points.back();
      previous_node = counter;
      ++counter;
    }
  }
  return graph;
}

void write_travel_graph(json::Writer &writer, const TravelGraph &graph) {
  writer.begin_object();
  writer.key("nodes");
  writer.begin_array();
  for (const GraphNode &node : graph.nodes) {
    writer.begin_array();
    writer.value(node.x);
    writer.value(node.y);
    writer.value(node.z);
    writer.end_array();
  }
  writer.end_array();
  writer.key("edges");
  writer.begin_array();
  for (const GraphEdge &edge : graph.edges) {
    writer.begin_array();
    writer.value(static_cast<uint64_t>(edge.from));
    writer.value(static_cast<uint64_t>(edge.to));
    writer.value(edge.weight);
    writer.end_array();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::feature
