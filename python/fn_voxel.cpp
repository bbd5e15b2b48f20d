// Module functions of the voxel geometry: voxelization, quarter turns, turning a plan about Z and
// the rotation bounds.
#include <optional>
#include <string_view>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "ir/json_io.h"
#include "voxel/quarter_turn.h"
#include "voxel/rotate_z.h"
#include "voxel/rotation_bounds.h"
#include "voxel/voxel_json.h"
#include "voxel/voxelize.h"

namespace tolm::py {
namespace {

constexpr std::string_view kVoxelsPrefix =
    "expected a voxel-set JSON (array of [i, j, k], e.g. from voxelize()); ";

/// Reads a voxel-set argument, or sets ValueError with the voxel-set prefix.
std::optional<voxel::VoxelSet> parse_voxels(std::string_view text) {
  auto voxels = voxel::read_voxel_set(text);
  if (!voxels) {
    raise_read_error(kVoxelsPrefix, voxels.error());
    return std::nullopt;
  }
  return std::move(*voxels);
}

PyObject *rotate_z(Call &call) {
  std::string_view program_json;
  double radians;
  if (!call.str(0, program_json) || !call.f64(1, radians))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  return to_str(ir::to_json(voxel::rotate_z(*program, radians)));
}

PyObject *voxelize(Call &call) {
  std::string_view program_json;
  int64_t resolution_um;
  std::optional<int64_t> layer_height_um;
  if (!call.str(0, program_json) || !call.i64(1, resolution_um, 200) ||
      !call.optional_i64(2, layer_height_um))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  return to_str(voxel::to_json(voxel::voxelize(*program, resolution_um, layer_height_um)));
}

template <voxel::VoxelSet (*turn)(const voxel::VoxelSet &)> PyObject *quarter_turn(Call &call) {
  std::string_view voxels_json;
  if (!call.str(0, voxels_json))
    return nullptr;
  auto voxels = parse_voxels(voxels_json);
  if (!voxels)
    return nullptr;
  return to_str(voxel::to_json(turn(*voxels)));
}

PyObject *rot_x90(Call &call) { return quarter_turn<voxel::rot_x90>(call); }
PyObject *rot_y90(Call &call) { return quarter_turn<voxel::rot_y90>(call); }
PyObject *rot_z90(Call &call) { return quarter_turn<voxel::rot_z90>(call); }

PyObject *rotate_bounds(Call &call) {
  std::string_view voxels_json;
  double radians;
  bool axis_x;
  if (!call.str(0, voxels_json) || !call.f64(1, radians) || !call.boolean(2, axis_x, true))
    return nullptr;
  auto voxels = parse_voxels(voxels_json);
  if (!voxels)
    return nullptr;
  const voxel::RotationBounds bounds = voxel::rotate_bounds(*voxels, radians, axis_x);
  PyObject *inner = to_str(voxel::to_json(bounds.inner));
  PyObject *outer = to_str(voxel::to_json(bounds.outer));
  return to_tuple({inner, outer});
}

PyObject *compare_rotated(Call &call) {
  std::string_view a_json, b_json;
  double radians;
  bool axis_x;
  if (!call.str(0, a_json) || !call.str(1, b_json) || !call.f64(2, radians) ||
      !call.boolean(3, axis_x, true))
    return nullptr;
  auto a = parse_voxels(a_json);
  if (!a)
    return nullptr;
  auto b = parse_voxels(b_json);
  if (!b)
    return nullptr;
  return to_str(voxel::verdict_name(voxel::compare_rotated(*a, *b, radians, axis_x)));
}

} // namespace

TOLM_FUNCTION(rotate_z, "rotate_z(lo_program_json, radians)",
              "Rotate a LOW-LEVEL program (JSON) about the origin by `radians` (CCW) in the XY "
              "plane, returned as\n"
              "JSON. Combine with `graded_diff` to compare two prints up to a known Z-rotation "
              "(graded distance\n"
              "absorbs the sub-cell rounding) — e.g. rotation-augmented RL.");

TOLM_FUNCTION(voxelize, "voxelize(lo_program_json, resolution_um=200, layer_height_um=None)",
              "Lift a LOW-LEVEL program (JSON) to 3D voxels on a uniform `resolution_um` grid, "
              "returned as JSON\n"
              "(`[[i, j, k], ...]`). Each layer's cells are extruded over the Z range they "
              "deposit; layer height\n"
              "is derived from consecutive Z unless `layer_height_um` is given. The input to the "
              "rotation API.");

TOLM_FUNCTION(rot_x90, "rot_x90(voxels_json)",
              "Exact 90° rotation (CCW about +X) of a voxel set (JSON, as from `voxelize`). "
              "Integer index map,\n"
              "lossless. See also `rot_y90`, `rot_z90`.");

TOLM_FUNCTION(rot_y90, "rot_y90(voxels_json)",
              "Exact 90° rotation (CCW about +Y) of a voxel set (JSON). Integer index map, "
              "lossless.");

TOLM_FUNCTION(
    rot_z90, "rot_z90(voxels_json)",
    "Exact 90° rotation (CCW about +Z) of a voxel set (JSON). Integer index map, "
    "lossless — and\n"
    "denotation-equivariant at even resolutions (checked on random plans by the test suite).");

TOLM_FUNCTION(rotate_bounds, "rotate_bounds(voxels_json, radians, axis_x=True)",
              "Sound (inner, outer) voxel-set bounds for rotating `voxels` (JSON) by `radians` "
              "about X\n"
              "(`axis_x=True`) or Y. Returns `(inner_json, outer_json)`: `inner` is definitely "
              "covered, `outer`\n"
              "possibly covered, with `inner ⊆ true rotation ⊆ outer`. Arbitrary angles don't "
              "align to the grid,\n"
              "so these bracket the answer point-sampling can't bound.");

TOLM_FUNCTION(compare_rotated,
              "compare_rotated(a_voxels_json, b_voxels_json, radians, axis_x=True)",
              "Sound verdict comparing voxel set `b` against `a` rotated by `radians` about X "
              "(`axis_x=True`) or\n"
              "Y. Returns `\"SameWithinGrid\"` (indistinguishable at this grid) or "
              "`\"DefinitelyDiffer\"` (differ by\n"
              "more than the grid can absorb). Both arguments are voxel-set JSON (from "
              "`voxelize`).");

} // namespace tolm::py
