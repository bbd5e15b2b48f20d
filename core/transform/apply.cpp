#include "transform/apply.h"

#include <algorithm>

#include "transform/collinear.h"
#include "util/numeric.h"

namespace tolm::transform {
namespace {

using ir::Point;
using ir::lo::Layer;
using ir::lo::Toolpath;
using Result = std::expected<void, TransformError>;

Result apply_to(const ReversePath &a, Layer &layer) {
  if (a.toolpath >= layer.toolpaths.size())
    return std::unexpected(TransformError::InvalidToolpath);
  std::vector<Point> &points = layer.toolpaths[a.toolpath].path.points;
  std::reverse(points.begin(), points.end());
  return {};
}

Result apply_to(const SwapToolpaths &a, Layer &layer) {
  if (a.a >= layer.toolpaths.size() || a.b >= layer.toolpaths.size())
    return std::unexpected(TransformError::InvalidToolpath);
  if (a.a != a.b)
    std::swap(layer.toolpaths[a.a], layer.toolpaths[a.b]);
  return {};
}

Result apply_to(const PermuteToolpaths &a, Layer &layer) {
  const size_t count = layer.toolpaths.size();
  if (a.perm.size() != count)
    return std::unexpected(TransformError::NotApplicable);
  std::vector<uint8_t> seen(count, 0);
  for (uint64_t index : a.perm) {
    if (index >= count || seen[index])
      return std::unexpected(TransformError::NotApplicable);
    seen[index] = 1;
  }
  std::vector<Toolpath> reordered;
  reordered.reserve(count);
  for (uint64_t index : a.perm)
    reordered.push_back(std::move(layer.toolpaths[index]));
  layer.toolpaths = std::move(reordered);
  return {};
}

Result apply_to(const SplitSegment &a, Layer &layer) {
  if (a.toolpath >= layer.toolpaths.size())
    return std::unexpected(TransformError::InvalidToolpath);
  std::vector<Point> &p = layer.toolpaths[a.toolpath].path.points;
  if (a.segment >= p.size() || a.segment + 1 >= p.size())
    return std::unexpected(TransformError::InvalidSegment);
  const Point s = p[a.segment], e = p[a.segment + 1];
  const int128 t = std::min<uint16_t>(a.t_permille, 1000);
  const int128 nx = t * (int128{e.x} - s.x), ny = t * (int128{e.y} - s.y);
  if (nx % 1000 != 0 || ny % 1000 != 0)
    return std::unexpected(TransformError::NotApplicable);
  const int128 qx = nx / 1000, qy = ny / 1000;
  if (qx == 0 && qy == 0)
    return std::unexpected(TransformError::NotApplicable);
  // |q| is at most the segment's extent on each axis, so m lies between s and e.
  const Point m{static_cast<int64_t>(s.x + qx), static_cast<int64_t>(s.y + qy)};
  if (m == e)
    return std::unexpected(TransformError::NotApplicable);
  p.insert(p.begin() + static_cast<std::ptrdiff_t>(a.segment + 1), m);
  return {};
}

Result apply_to(const MergeCollinear &a, Layer &layer) {
  if (a.toolpath >= layer.toolpaths.size())
    return std::unexpected(TransformError::InvalidToolpath);
  std::vector<Point> &p = layer.toolpaths[a.toolpath].path.points;
  if (p.size() < 3)
    return std::unexpected(TransformError::NotApplicable);
  std::vector<Point> kept;
  kept.reserve(p.size());
  kept.push_back(p.front());
  for (size_t k = 1; k + 1 < p.size(); ++k)
    if (!on_closed_segment(kept.back(), p[k], p[k + 1]))
      kept.push_back(p[k]);
  kept.push_back(p.back());
  if (kept.size() == p.size())
    return std::unexpected(TransformError::NotApplicable);
  p = std::move(kept);
  return {};
}

Result apply_to(const RelocateSeam &a, Layer &layer) {
  if (a.toolpath >= layer.toolpaths.size())
    return std::unexpected(TransformError::InvalidToolpath);
  std::vector<Point> &p = layer.toolpaths[a.toolpath].path.points;
  if (p.size() < 3 || p.front() != p.back())
    return std::unexpected(TransformError::NotApplicable);
  if (a.vertex >= p.size() - 1)
    return std::unexpected(TransformError::InvalidVertex);
  // p[v..P-2], p[0..v-1], p[v]: rotate the open cycle p[0..P-2] and close it again.
  const auto v = static_cast<std::ptrdiff_t>(a.vertex);
  std::rotate(p.begin(), p.begin() + v, p.end() - 1);
  p.back() = p.front();
  return {};
}

} // namespace

const char *transform_error_name(TransformError error) {
  switch (error) {
  case TransformError::InvalidLayer:
    return "InvalidLayer";
  case TransformError::InvalidToolpath:
    return "InvalidToolpath";
  case TransformError::InvalidSegment:
    return "InvalidSegment";
  case TransformError::InvalidVertex:
    return "InvalidVertex";
  case TransformError::NotApplicable:
    return "NotApplicable";
  }
  return "NotApplicable";
}

std::expected<std::vector<uint64_t>, TransformError> apply(const Action &action,
                                                           ir::lo::Program &program) {
  const uint64_t layer = action_layer(action);
  if (layer >= program.layers.size())
    return std::unexpected(TransformError::InvalidLayer);
  Result result =
      std::visit([&](const auto &a) { return apply_to(a, program.layers[layer]); }, action);
  if (!result)
    return std::unexpected(result.error());
  return std::vector<uint64_t>{layer};
}

} // namespace tolm::transform
