#include "verify/batch.h"

#include <algorithm>
#include <atomic>
#include <compare>
#include <utility>

#include "denote/occupancy.h"
#include "ir/json_io.h"
#include "parallel/pool.h"

namespace tolm::verify {

std::expected<std::vector<ir::lo::Program>, json::ReadError>
read_candidates(std::span<const std::string_view> texts) {
  auto read =
      parallel::map(texts.size(), [&](size_t index) { return ir::read_lo_program(texts[index]); });
  std::vector<ir::lo::Program> programs;
  programs.reserve(read.size());
  for (auto &program : read) {
    if (!program)
      return std::unexpected(std::move(program.error()));
    programs.push_back(std::move(*program));
  }
  return programs;
}

namespace {

// One capsule of a layer's occupancy: a segment with its endpoints in (x, y) order (a single
// point is a = b) and the non-negative bead width that gives its radius.
struct Capsule {
  int64_t width_um = 0;
  ir::Point a, b;
  friend auto operator<=>(const Capsule &x, const Capsule &y) {
    if (auto order = x.width_um <=> y.width_um; order != 0)
      return order;
    if (auto order = std::pair(x.a.x, x.a.y) <=> std::pair(y.a.x, y.a.y); order != 0)
      return order;
    return std::pair(x.b.x, x.b.y) <=> std::pair(y.b.x, y.b.y);
  }
  friend bool operator==(const Capsule &, const Capsule &) = default;
};

Capsule capsule(int64_t width_um, ir::Point a, ir::Point b) {
  const bool a_first = a.x < b.x || (a.x == b.x && a.y <= b.y);
  return Capsule{std::max<int64_t>(width_um, 0), a_first ? a : b, a_first ? b : a};
}

// The distinct capsules of a layer's extrusions, sorted. A layer's occupancy is the union of
// the cells of these capsules, so two layers at one Z with equal lists have equal occupancy,
// whatever the order, direction, splitting or repetition of their toolpaths.
std::vector<Capsule> capsules_of(const ir::lo::Layer &layer) {
  std::vector<Capsule> out;
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
    if (!ir::lo::is_extrude(toolpath))
      continue;
    const std::vector<ir::Point> &points = toolpath.path.points;
    if (points.size() == 1)
      out.push_back(capsule(toolpath.width_um, points[0], points[0]));
    for (size_t k = 0; k + 1 < points.size(); ++k)
      out.push_back(capsule(toolpath.width_um, points[k], points[k + 1]));
  }
  std::ranges::sort(out);
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

} // namespace

std::vector<bool> verify_batch(std::span<const ir::lo::Program> candidates,
                               const ir::lo::Program &reference, int64_t resolution_um) {
  const denote::Occupancy expected = denote::denote_lo(reference, resolution_um);
  const std::vector<std::vector<Capsule>> expected_capsules = parallel::map(
      reference.layers.size(), [&](size_t k) { return capsules_of(reference.layers[k]); });
  // vector<bool> packs bits, so tasks write into bytes and the flags are copied out after.
  const std::vector<char> same = parallel::map(candidates.size(), [&](size_t index) -> char {
    const ir::lo::Program &candidate = candidates[index];
    if (candidate.layers.size() != expected.layers.size())
      return 0;
    // A layer drawing exactly the reference layer's capsules is not rasterized again; any other
    // layer's raster lives only while it is compared. Once one layer differs the answer is
    // known, so layers not yet started are skipped.
    std::atomic<bool> differs{false};
    const std::vector<char> layers = parallel::map(candidate.layers.size(), [&](size_t k) -> char {
      if (differs.load(std::memory_order_relaxed))
        return 0;
      const ir::lo::Layer &layer = candidate.layers[k];
      const denote::LayerOccupancy &want = expected.layers[k];
      const bool equal =
          layer.z_um == want.z_um && (capsules_of(layer) == expected_capsules[k] ||
                                      denote::occupancy_of_layer(layer, resolution_um) == want);
      if (!equal)
        differs.store(true, std::memory_order_relaxed);
      return equal ? 1 : 0;
    });
    return std::ranges::all_of(layers, [](char ok) { return ok != 0; }) ? 1 : 0;
  });
  return std::vector<bool>(same.begin(), same.end());
}

} // namespace tolm::verify
