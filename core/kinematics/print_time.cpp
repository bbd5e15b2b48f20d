#include "kinematics/print_time.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "util/numeric.h"
#include "json/writer.h"

namespace tolm::kinematics {
namespace {

constexpr double kStraight = 0.999999999;
constexpr double kMinSpeed = 1e-9;
// Relative margin above which a square root cannot round below the current limit.
constexpr double kSkipRoot = 1.0 + 1e-12;

// A coordinate difference in mm. The integer difference is exact: in 64 bits when it fits,
// otherwise in 128 bits.
inline double diff_mm(int64_t to, int64_t from) {
  int64_t d;
  if (!__builtin_sub_overflow(to, from, &d)) [[likely]]
    return static_cast<double>(d) / 1000.0;
  return static_cast<double>(static_cast<int128>(to) - static_cast<int128>(from)) / 1000.0;
}

} // namespace

double path_time_s(std::span<const ir::Point> points, double v, const MachineProfile &profile,
                   Scratch &scratch) {
  const size_t n = points.size();
  if (v <= 0 || n < 2)
    return 0.0;
  const double a = profile.acceleration_mm_s2;
  const double delta = std::max(profile.junction_deviation_mm, 0.0);

  std::vector<double> &len = scratch.lengths_mm;
  len.resize(n - 1);
  if (a <= 0) {
    // Constant speed, no ramps.
    double t = 0.0;
    const double speed = std::max(v, kMinSpeed);
    for (size_t k = 0; k + 1 < n; ++k) {
      const double dx = diff_mm(points[k + 1].x, points[k].x);
      const double dy = diff_mm(points[k + 1].y, points[k].y);
      const double l = std::sqrt(dx * dx + dy * dy);
      if (l > 0)
        t += l / speed;
    }
    return t;
  }

  // Segment lengths and vertex limits in one sweep: vertex k sits between segment k - 1 (u, the
  // previous differences) and segment k (w). The ends start and finish at rest.
  std::vector<double> &s = scratch.limits_mm_s;
  s.resize(n);
  s[0] = 0.0;
  s[n - 1] = 0.0;
  double ux = 0.0, uy = 0.0, nu = 0.0;
  for (size_t k = 0; k + 1 < n; ++k) {
    const double wx = diff_mm(points[k + 1].x, points[k].x);
    const double wy = diff_mm(points[k + 1].y, points[k].y);
    const double nw = std::sqrt(wx * wx + wy * wy);
    len[k] = nw;
    if (k > 0) {
      if (nu == 0 || nw == 0) {
        s[k] = 0.0;
      } else {
        const double c = std::clamp((ux * wx + uy * wy) / (nw * nu), -1.0, 1.0);
        const double h = std::sqrt(std::max((c + 1) * 0.5, 0.0));
        s[k] = h >= kStraight ? v : std::min(v, std::sqrt(delta * h / (1 - h) * a));
      }
    }
    ux = wx;
    uy = wy;
    nu = nw;
  }

  // Both passes lower a limit to sqrt(reach) only when that is below it. A reach well above the
  // limit's square cannot round to a smaller root, so its square root is skipped.
  const double two_a = 2 * a;
  auto lower = [](double &limit, double reach) {
    const double square = limit * limit;
    if (square >= std::numeric_limits<double>::min() && reach >= square * kSkipRoot)
      return;
    limit = std::min(limit, std::sqrt(reach));
  };
  for (size_t k = n - 1; k-- > 0;)
    lower(s[k], len[k] * two_a + s[k + 1] * s[k + 1]);

  // The forward pass finishes vertex k + 1, after which segment k is timed.
  double t = 0.0;
  for (size_t k = 0; k + 1 < n; ++k) {
    lower(s[k + 1], len[k] * two_a + s[k] * s[k]);
    const double l = len[k];
    if (!(l > 0))
      continue;
    const double vi = s[k], vo = s[k + 1];
    const double vc = std::max({vi, vo, v});
    const double vc2 = vc * vc;
    // A ramp from or to cruise speed is empty: its distance and time are exactly +0.0, so the
    // divisions are skipped (not when the square overflows, where they give NaN).
    const bool flat = std::isfinite(vc2);
    const bool at_in = flat && vi == vc, at_out = flat && vo == vc;
    const double da = at_in ? 0.0 : (vc2 - vi * vi) / two_a;
    const double dd = at_out ? 0.0 : (vc2 - vo * vo) / two_a;
    if (l >= da + dd) {
      const double cruise = (l - da - dd) / std::max(vc, kMinSpeed);
      const double up = at_in ? cruise : (vc - vi) / a + cruise;
      t += at_out ? up : up + (vc - vo) / a;
    } else {
      const double vp = std::sqrt(std::max((vo * vo + two_a * l + vi * vi) * 0.5, 0.0));
      t += std::max(vp - vo, 0.0) / a + std::max(vp - vi, 0.0) / a;
    }
  }
  return t;
}

double toolpath_time_s(const ir::lo::Toolpath &toolpath, const MachineProfile &profile,
                       Scratch &scratch) {
  const double v =
      ir::lo::is_travel(toolpath) ? profile.max_travel_speed_mm_s : profile.max_print_speed_mm_s;
  return path_time_s(toolpath.path.points, v, profile, scratch);
}

PrintTime print_time(const ir::lo::Program &program, const MachineProfile &profile) {
  PrintTime out;
  out.per_layer_s.reserve(program.layers.size());
  Scratch scratch;
  for (const ir::lo::Layer &layer : program.layers) {
    double layer_s = 0.0;
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      const double t = toolpath_time_s(toolpath, profile, scratch);
      layer_s += t;
      if (ir::lo::is_travel(toolpath))
        out.travel_move_s += t;
      else
        out.print_move_s += t;
    }
    out.per_layer_s.push_back(LayerTime{layer.z_um, layer_s});
  }
  out.total_s = out.print_move_s + out.travel_move_s;
  if (!out.per_layer_s.empty()) {
    out.min_layer_s = out.per_layer_s.front().seconds;
    for (const LayerTime &layer : out.per_layer_s)
      out.min_layer_s = std::min(out.min_layer_s, layer.seconds);
  }
  return out;
}

void write_print_time(json::Writer &writer, const PrintTime &time) {
  writer.begin_object();
  writer.member("total_s", time.total_s);
  writer.key("per_layer_s");
  writer.begin_array();
  for (const LayerTime &layer : time.per_layer_s) {
    writer.begin_array();
    writer.value(layer.z_um);
    writer.value(layer.seconds);
    writer.end_array();
  }
  writer.end_array();
  writer.member("min_layer_s", time.min_layer_s);
  writer.member("print_move_s", time.print_move_s);
  writer.member("travel_move_s", time.travel_move_s);
  writer.end_object();
}

} // namespace tolm::kinematics
