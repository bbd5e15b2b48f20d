#include "verify/batch.h"

#include <algorithm>

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

// One extrusion of a layer in a direction-free form: its width and its points, read backwards
// when that sequence is lexicographically smaller.
struct Stroke {
  int64_t width_um = 0;
  const std::vector<ir::Point> *points = nullptr;
  bool backwards = false;

  ir::Point at(size_t k) const {
    return backwards ? (*points)[points->size() - 1 - k] : (*points)[k];
  }
};

int compare_points(ir::Point a, ir::Point b) {
  if (a.x != b.x)
    return a.x < b.x ? -1 : 1;
  if (a.y != b.y)
    return a.y < b.y ? -1 : 1;
  return 0;
}

int compare_strokes(const Stroke &a, const Stroke &b) {
  if (a.width_um != b.width_um)
    return a.width_um < b.width_um ? -1 : 1;
  if (a.points->size() != b.points->size())
    return a.points->size() < b.points->size() ? -1 : 1;
  for (size_t k = 0; k < a.points->size(); ++k)
    if (int order = compare_points(a.at(k), b.at(k)))
      return order;
  return 0;
}

// The layer's extrusions as strokes, sorted: two layers with equal lists draw the same capsules
// (in another order or direction), so their occupancies are equal.
std::vector<Stroke> strokes_of(const ir::lo::Layer &layer) {
  std::vector<Stroke> strokes;
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
    if (!ir::lo::is_extrude(toolpath))
      continue;
    Stroke forward{toolpath.width_um, &toolpath.path.points, false};
    Stroke backward{toolpath.width_um, &toolpath.path.points, true};
    strokes.push_back(compare_strokes(backward, forward) < 0 ? backward : forward);
  }
  std::ranges::sort(strokes,
                    [](const Stroke &a, const Stroke &b) { return compare_strokes(a, b) < 0; });
  return strokes;
}

bool same_strokes(const std::vector<Stroke> &a, const std::vector<Stroke> &b) {
  if (a.size() != b.size())
    return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (compare_strokes(a[k], b[k]) != 0)
      return false;
  return true;
}

} // namespace

std::vector<bool> verify_batch(std::span<const ir::lo::Program> candidates,
                               const ir::lo::Program &reference, int64_t resolution_um) {
  const denote::Occupancy expected = denote::denote_lo(reference, resolution_um);
  const std::vector<std::vector<Stroke>> expected_strokes = parallel::map(
      reference.layers.size(), [&](size_t k) { return strokes_of(reference.layers[k]); });
  // vector<bool> packs bits, so tasks write into bytes and the flags are copied out after.
  const std::vector<char> same = parallel::map(candidates.size(), [&](size_t index) -> char {
    const ir::lo::Program &candidate = candidates[index];
    if (candidate.layers.size() != expected.layers.size())
      return 0;
    // Occupancy depends only on the layer's Z and its extrusions' points and widths, not on their
    // order or direction: a layer drawing the reference layer's strokes is not rasterized again.
    // Any other layer's raster lives only while it is compared.
    const std::vector<char> layers = parallel::map(candidate.layers.size(), [&](size_t k) -> char {
      const ir::lo::Layer &layer = candidate.layers[k];
      const denote::LayerOccupancy &want = expected.layers[k];
      if (layer.z_um != want.z_um)
        return 0;
      if (same_strokes(strokes_of(layer), expected_strokes[k]))
        return 1;
      return denote::occupancy_of_layer(layer, resolution_um) == want ? 1 : 0;
    });
    return std::ranges::all_of(layers, [](char ok) { return ok != 0; }) ? 1 : 0;
  });
  return std::vector<bool>(same.begin(), same.end());
}

} // namespace tolm::verify
