#include "frontend/gcode/arcs.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "util/numeric.h"

namespace tolm::frontend::gcode {

std::optional<PointF> arc_center_from_r(double r, ir::Point s, ir::Point e, bool clockwise) {
  if (!std::isfinite(r))
    return std::nullopt;
  double dx = static_cast<double>(e.x) - static_cast<double>(s.x);
  double dy = static_cast<double>(e.y) - static_cast<double>(s.y);
  double d2 = dy * dy + dx * dx;
  if (d2 < 1.0)
    return std::nullopt;
  double h = (4.0 * r) * r - d2;
  if (h < 0)
    return std::nullopt;
  double k0 = std::sqrt(h) / std::sqrt(d2);
  if (clockwise)
    k0 = -k0;
  double k = r < 0 ? -k0 : k0;
  return PointF{(dx - dy * k) * 0.5 + static_cast<double>(s.x),
                (k * dx + dy) * 0.5 + static_cast<double>(s.y)};
}

void append_arc(ir::Point s, ir::Point e, PointF c, bool clockwise, std::vector<ir::Point> &out) {
  double sx = static_cast<double>(s.x) - c.x;
  double sy = static_cast<double>(s.y) - c.y;
  double r = std::sqrt(sy * sy + sx * sx);
  if (!std::isfinite(r) || r < 1.0) {
    out.push_back(e);
    return;
  }
  constexpr double kTurn = 2.0 * std::numbers::pi;
  double a0 = std::atan2(sy, sx);
  double a1 = std::atan2(static_cast<double>(e.y) - c.y, static_cast<double>(e.x) - c.x);
  double u = std::fmod(clockwise ? a0 - a1 : a1 - a0, kTurn);
  if (u < 0)
    u += kTurn;
  double sweep = u <= kZeroSweepRad ? kTurn : u;
  double chord = sweep;
  if (r > kChordToleranceUm)
    chord = 2.0 * std::acos(std::clamp(1.0 - kChordToleranceUm / r, -1.0, 1.0));
  int64_t n = std::clamp<int64_t>(saturating_i64(std::ceil(sweep / chord)), 1, kMaxArcChords);
  double signed_sweep = clockwise ? -sweep : sweep;
  for (int64_t k = 1; k < n; ++k) {
    double angle = (static_cast<double>(k) * signed_sweep) / static_cast<double>(n) + a0;
    double x = std::round(std::cos(angle) * r + c.x);
    double y = std::round(std::sin(angle) * r + c.y);
    if (std::isfinite(x) && std::isfinite(y) && std::fabs(x) < 9e18 && std::fabs(y) < 9e18)
      out.push_back({static_cast<int64_t>(x), static_cast<int64_t>(y)});
  }
  out.push_back(e);
}

std::vector<ir::Point> flatten_arc(ir::Point s, ir::Point e, PointF c, bool clockwise) {
  std::vector<ir::Point> out;
  append_arc(s, e, c, clockwise, out);
  return out;
}

double polyline_len_mm(ir::Point s, const std::vector<ir::Point> &points) {
  double total = 0.0;
  ir::Point previous = s;
  for (const ir::Point &p : points) {
    double dx = static_cast<double>(p.x) - static_cast<double>(previous.x);
    double dy = static_cast<double>(p.y) - static_cast<double>(previous.y);
    total += std::sqrt(dy * dy + dx * dx);
    previous = p;
  }
  return total / 1000.0;
}

} // namespace tolm::frontend::gcode
