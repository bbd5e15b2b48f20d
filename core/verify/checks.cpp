#include "verify/checks.h"

#include "diff/graded.h"
#include "parallel/pool.h"
#include "util/numeric.h"

namespace tolm::verify {
namespace {

int64_t saturating_mul(int64_t a, int64_t b) {
  int64_t out;
  if (__builtin_mul_overflow(a, b, &out))
    return (a < 0) != (b < 0) ? kInt64Min : kInt64Max;
  return out;
}

} // namespace

bool preserves_within(const ir::lo::Program &a, const ir::lo::Program &b, double epsilon_um,
                      int64_t resolution_um) {
  const diff::GradedDiff report = diff::graded_diff_programs(a, b, resolution_um);
  return epsilon_um >= report.max_um;
}

denote::Occupancy denote_hi(const ir::hi::Program &program, int64_t resolution_um) {
  denote::Occupancy out;
  out.layers = parallel::map(program.layers.size(), [&](size_t index) {
    const ir::hi::Layer &layer = program.layers[index];
    std::vector<denote::PathRef> paths;
    for (const ir::hi::Region &region : layer.regions)
      for (const ir::ExtrudePath &fill : region.fills)
        paths.push_back(denote::PathRef{fill.path.points, fill.width_um});
    return denote::occupancy_of(paths, layer.z_um, resolution_um);
  });
  return out;
}

bool translation_invariant(const ir::lo::Program &program, int64_t dx, int64_t dy,
                           int64_t resolution_um) {
  const int64_t res = denote::effective_resolution(resolution_um);
  const denote::Occupancy before = denote::denote_lo(program, res);

  ir::lo::Program moved = program;
  const int64_t shift_x = saturating_mul(dx, res), shift_y = saturating_mul(dy, res);
  for (ir::lo::Layer &layer : moved.layers)
    for (ir::lo::Toolpath &toolpath : layer.toolpaths)
      for (ir::Point &point : toolpath.path.points) {
        point.x = saturating_add(point.x, shift_x);
        point.y = saturating_add(point.y, shift_y);
      }
  const denote::Occupancy after = denote::denote_lo(moved, res);

  if (before.layers.size() != after.layers.size())
    return false;
  for (size_t index = 0; index < before.layers.size(); ++index) {
    const denote::LayerOccupancy &x = before.layers[index], &y = after.layers[index];
    if (x.z_um != y.z_um || x.resolution_um != y.resolution_um || x.cells.size() != y.cells.size())
      return false;
    // A shift keeps the (i, j) order, so the sets compare element by element.
    for (size_t k = 0; k < x.cells.size(); ++k) {
      const denote::Cell expected{saturating_add(x.cells[k].i, dx),
                                  saturating_add(x.cells[k].j, dy)};
      if (!(y.cells[k] == expected))
        return false;
    }
  }
  return true;
}

} // namespace tolm::verify
