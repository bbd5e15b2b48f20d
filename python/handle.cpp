// The `Program` class: a native handle that owns one low-level plan and its incremental denote
// cache, for agents that edit a plan step by step and ask after each step whether the material
// is unchanged.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "backend/emit_settings.h"
#include "backend/gcode.h"
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/method.h"
#include "denote/occupancy.h"
#include "diff/graded.h"
#include "diff/iou.h"
#include "frontend/gcode/parser.h"
#include "handle_analysis.h"
#include "hash/canonical.h"
#include "incremental/denote_cache.h"
#include "incremental/edit_effect.h"
#include "ir/json_io.h"
#include "transform/action_index.h"
#include "transform/action_json.h"
#include "transform/apply.h"
#include "transform/legal_actions.h"
#include "util/hex.h"
#include "verify/checks.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

constexpr std::string_view kHandlePrefix = "expected a LOW-LEVEL program JSON; ";

/// The native state of one handle.
struct Handle {
  ir::lo::Program program;
  incremental::DenoteCache cache;
  /// Legal-action counts, built on first use and updated by every edit.
  std::optional<transform::ActionIndex> actions;
};

struct ProgramObject {
  PyObject ob_base;
  Handle *handle;
  BorrowFlag borrow;
};

// The class object, created once at module initialisation (one interpreter per process).
PyObject *program_type = nullptr;

Handle &state(PyObject *self) { return *reinterpret_cast<ProgramObject *>(self)->handle; }

/// A new instance owning `handle`.
PyObject *wrap(Handle handle) {
  auto *type = reinterpret_cast<PyTypeObject *>(program_type);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject *self = alloc(type, 0);
  if (!self)
    return nullptr;
  auto *object = reinterpret_cast<ProgramObject *>(self);
  object->borrow = BorrowFlag{};
  object->handle = nullptr;
  try {
    object->handle = new Handle(std::move(handle));
  } catch (...) {
    Py_DECREF(self);
    throw;
  }
  return self;
}

Handle fresh_handle(ir::lo::Program program, int64_t resolution_um) {
  return Handle{std::move(program), incremental::DenoteCache::empty(resolution_um), std::nullopt};
}

/// The `Program` argument at `index`, or TypeError naming the parameter.
PyObject *handle_argument(Call &call, size_t index) {
  PyObject *object = call.object(index);
  if (!object || !PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject *>(program_type))) {
    std::string message = std::string(call.signature().function) + "() argument '" +
                          std::string(call.signature().names[index]) + "' must be Program";
    return raise_type_error(message);
  }
  return object;
}

transform::ActionIndex &action_index(Handle &h) {
  if (!h.actions)
    h.actions = transform::ActionIndex::build(h.program);
  return *h.actions;
}

/// The apply step of every edit method: apply, flag the touched layer, update the counts. A
/// layer whose cells provably stay the same is not flagged: its cached entry is already what a
/// refresh would compute.
PyObject *apply_step(Handle &h, const transform::Action &action) {
  const uint64_t layer = transform::action_layer(action);
  const bool cached_clean = layer < h.cache.dirty.size() && !h.cache.dirty[layer];
  auto edit = incremental::apply_tracked(action, h.program, h.cache.resolution_um, cached_clean);
  if (!edit)
    return raise_value_error(std::string("action failed: ") +
                             transform::transform_error_name(edit.error()));
  if (edit->cells_may_change)
    for (uint64_t touched : edit->touched)
      h.cache.mark_dirty(touched);
  if (h.actions) {
    try {
      h.actions->after_apply(h.program, action);
    } catch (...) {
      // Counts that missed an edit would misplace positions; rebuild them on next use instead.
      h.actions.reset();
      throw;
    }
  }
  return to_int_list(edit->touched);
}

PyObject *fingerprint_text(Handle &h) {
  h.cache.occupancy(h.program);
  return to_str(hex32(h.cache.material_fingerprint()));
}

// ---- construction and export ----------------------------------------------------------------

PyObject *from_json(PyObject *, Call &call) {
  std::string_view text;
  int64_t resolution_um;
  if (!call.str(0, text) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto program = ir::read_lo_program(text);
  if (!program)
    return raise_read_error(kHandlePrefix, program.error());
  return wrap(fresh_handle(std::move(*program), resolution_um));
}

PyObject *from_gcode(PyObject *, Call &call) {
  std::string_view gcode;
  int64_t resolution_um;
  if (!call.str(0, gcode) || !call.i64(1, resolution_um, 200))
    return nullptr;
  return wrap(fresh_handle(frontend::gcode::parse(gcode).program, resolution_um));
}

PyObject *to_json(PyObject *self, Call &) { return to_str(ir::to_json(state(self).program)); }

PyObject *to_gcode(PyObject *self, Call &) {
  return to_str(backend::to_gcode_with(state(self).program, backend::EmitSettings::standard()));
}

PyObject *copy(PyObject *self, Call &) {
  const Handle &h = state(self);
  return wrap(fresh_handle(h.program, h.cache.resolution_um));
}

// ---- cache control ----------------------------------------------------------------------------

PyObject *set_resolution(PyObject *self, Call &call) {
  int64_t resolution_um;
  if (!call.i64(0, resolution_um))
    return nullptr;
  state(self).cache.rekey(resolution_um);
  return none();
}

PyObject *mark_dirty(PyObject *self, Call &call) {
  uint64_t layer;
  if (!call.u64(0, layer))
    return nullptr;
  state(self).cache.mark_dirty(layer);
  return none();
}

// ---- shape --------------------------------------------------------------------------------------

PyObject *layer_count(PyObject *self, Call &) { return to_uint(state(self).program.layers.size()); }

PyObject *toolpath_count(PyObject *self, Call &call) {
  uint64_t layer;
  if (!call.u64(0, layer))
    return nullptr;
  const auto &layers = state(self).program.layers;
  if (layer >= layers.size())
    return raise_value_error("layer index out of range");
  return to_uint(layers[layer].toolpaths.size());
}

// ---- material -----------------------------------------------------------------------------------

PyObject *occupancy(PyObject *self, Call &) {
  Handle &h = state(self);
  h.cache.occupancy(h.program);
  // Lend the cached layers to the writer without copying cells. Should writing fail, the cache
  // is left shorter than the plan, and the next refresh simply fills it again.
  denote::Occupancy lent{std::move(h.cache.layers)};
  json::Writer writer;
  denote::write_occupancy(writer, lent);
  h.cache.layers = std::move(lent.layers);
  return to_str(writer.text());
}

PyObject *fingerprint(PyObject *self, Call &) { return fingerprint_text(state(self)); }

// ---- plain queries ------------------------------------------------------------------------------

PyObject *canonical_hash(PyObject *self, Call &) {
  return to_str(hex32(hash::canonical_hash_u128(state(self).program)));
}

PyObject *travel_distance_um(PyObject *self, Call &) {
  double total = -0.0;
  for (const ir::lo::Layer &layer : state(self).program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      if (!ir::lo::is_travel(toolpath))
        continue;
      double length = -0.0;
      const auto &p = toolpath.path.points;
      for (size_t k = 1; k < p.size(); ++k) {
        const double dx = static_cast<double>(p[k].x) - static_cast<double>(p[k - 1].x);
        const double dy = static_cast<double>(p[k].y) - static_cast<double>(p[k - 1].y);
        length += std::sqrt(dy * dy + dx * dx);
      }
      total += length;
    }
  return to_float(total);
}

PyObject *occupancy_grid(PyObject *self, Call &call) {
  uint64_t layer;
  if (!call.u64(0, layer))
    return nullptr;
  const Handle &h = state(self);
  if (layer >= h.program.layers.size())
    return raise_value_error("layer index out of range");
  // Layers are rasterized independently, so the requested layer alone gives the same matrix
  // as rasterizing the whole plan.
  denote::DenseLayer dense =
      denote::to_dense(denote::occupancy_of_layer(h.program.layers[layer], h.cache.resolution_um));
  return to_tuple({to_uint(dense.rows), to_uint(dense.cols), to_int(dense.min_i),
                   to_int(dense.min_j), to_bytes(dense.bytes)});
}

// ---- actions ------------------------------------------------------------------------------------

PyObject *legal_actions(PyObject *self, Call &) {
  json::Writer writer;
  transform::write_actions(writer, transform::legal_actions(state(self).program));
  return to_str(writer.text());
}

PyObject *action_count(PyObject *self, Call &) { return to_uint(action_index(state(self)).total); }

PyObject *action(PyObject *self, Call &call) {
  uint64_t i;
  if (!call.u64(0, i))
    return nullptr;
  Handle &h = state(self);
  const transform::ActionIndex &index = action_index(h);
  if (i >= index.total)
    return raise_value_error("action index out of range");
  json::Writer writer;
  transform::write_action(writer, index.at(h.program, i));
  return to_str(writer.text());
}

PyObject *apply(PyObject *self, Call &call) {
  std::string_view text;
  if (!call.str(0, text))
    return nullptr;
  auto action = transform::read_action(text);
  if (!action)
    return raise_read_error("invalid action JSON; ", action.error());
  return apply_step(state(self), *action);
}

PyObject *apply_index(PyObject *self, Call &call) {
  uint64_t i;
  if (!call.u64(0, i))
    return nullptr;
  Handle &h = state(self);
  const transform::ActionIndex &index = action_index(h);
  if (i >= index.total)
    return raise_value_error("action index out of range");
  return apply_step(h, index.at(h.program, i));
}

PyObject *apply_sampled(PyObject *self, Call &call) {
  uint64_t seed;
  if (!call.u64(0, seed))
    return nullptr;
  Handle &h = state(self);
  const transform::ActionIndex &index = action_index(h);
  if (index.total == 0)
    return to_int_list({});
  return apply_step(h, index.at(h.program, seed % index.total));
}

// ---- comparisons --------------------------------------------------------------------------------

PyObject *same_material(PyObject *self, Call &call) {
  PyObject *other = handle_argument(call, 0);
  if (!other)
    return nullptr;
  Borrow borrow;
  if (!borrow.acquire(borrow_flag_of(other), Access::Exclusive))
    return nullptr;
  Handle &a = state(self);
  Handle &b = state(other);
  a.cache.occupancy(a.program);
  b.cache.occupancy(b.program);
  return to_bool(a.cache.material_fingerprint() == b.cache.material_fingerprint());
}

/// The `Program` argument at `index` under shared access (the handle itself may be passed).
PyObject *shared_other(Call &call, size_t index, Borrow &borrow) {
  PyObject *other = handle_argument(call, index);
  if (!other || !borrow.acquire(borrow_flag_of(other), Access::Shared))
    return nullptr;
  return other;
}

PyObject *iou_to(PyObject *self, Call &call) {
  Borrow borrow;
  PyObject *other = shared_other(call, 0, borrow);
  int64_t resolution_um;
  if (!other || !call.i64(1, resolution_um, 200))
    return nullptr;
  const diff::GcodeDiff report =
      diff::diff_programs(state(self).program, state(other).program, resolution_um);
  return report.iou ? to_float(*report.iou) : none();
}

PyObject *graded_to(PyObject *self, Call &call) {
  Borrow borrow;
  PyObject *other = shared_other(call, 0, borrow);
  int64_t resolution_um;
  if (!other || !call.i64(1, resolution_um, 200))
    return nullptr;
  json::Writer writer;
  diff::write_graded_diff(
      writer, diff::graded_diff_programs(state(self).program, state(other).program, resolution_um));
  return to_str(writer.text());
}

PyObject *preserves_within(PyObject *self, Call &call) {
  Borrow borrow;
  PyObject *reference = shared_other(call, 0, borrow);
  double epsilon_um;
  int64_t resolution_um;
  if (!reference || !call.f64(1, epsilon_um) || !call.i64(2, resolution_um, 200))
    return nullptr;
  return to_bool(verify::preserves_within(state(self).program, state(reference).program, epsilon_um,
                                          resolution_um));
}

// ---- method table -------------------------------------------------------------------------------

TOLM_METHOD_DEF(from_json, "from_json(lo_program_json, resolution_um=200)",
                "Load from a low-level program JSON (as from `lower_to_json` / `parse_gcode`). "
                "`resolution_um`\nkeys the incremental denote cache.",
                Access::None);
TOLM_METHOD_DEF(from_gcode, "from_gcode(gcode, resolution_um=200)",
                "Load by parsing slicer G-code (commanded flow is captured too).", Access::None);
TOLM_METHOD_DEF(to_json, "to_json($self)",
                "Export the current program to low-level JSON (the interchange boundary).",
                Access::Shared);
TOLM_METHOD_DEF(to_gcode, "to_gcode($self)",
                "Emit the current program as G-code (1.75 mm filament, 0.8 mm retraction, travel "
                "F9000, print F1800).\nGeometry is reproduced exactly; commanded flow is written "
                "at 5 decimals, and paths without a\ncommanded flow get a synthesized E. The "
                "emitter lies outside the verified boundary: check the\nround trip with "
                "`verify_roundtrip`.",
                Access::Shared);
TOLM_METHOD_DEF(copy, "copy($self)",
                "A deep copy with a fresh (empty) denote cache — for spawning candidates.",
                Access::Shared);
TOLM_METHOD_DEF(set_resolution, "set_resolution($self, resolution_um)",
                "Re-key the denote cache to a new resolution (invalidates it).", Access::Exclusive);
TOLM_METHOD_DEF(mark_dirty, "mark_dirty($self, layer)",
                "Mark a layer dirty by hand (after an out-of-band edit).", Access::Exclusive);
TOLM_METHOD_DEF(layer_count, "layer_count($self)", "", Access::Shared);
TOLM_METHOD_DEF(toolpath_count, "toolpath_count($self, layer)", "", Access::Shared);
TOLM_METHOD_DEF(occupancy, "occupancy($self)",
                "The cached occupancy as JSON (per-layer occupied cells), refreshed incrementally. "
                "This marshals\nevery cell on each call: do not use it in a hot loop; compare "
                "handles with `iou_to`,\n`preserves_within` or `graded_to` instead.",
                Access::Exclusive);
TOLM_METHOD_DEF(
    fingerprint, "fingerprint($self)",
    "The incremental 128-bit material fingerprint (32-hex): re-rasterizes and re-hashes "
    "only the layers\nchanged since the last call, so it is a microsecond preservation "
    "verdict for gating an agent's\nstep. Equal fingerprints mean equal occupancy up to "
    "a collision (about one in 2^128).",
    Access::Exclusive);
TOLM_METHOD_DEF(canonical_hash, "canonical_hash($self)",
                "Content hash (stable 32-hex-char identity) of the current program.",
                Access::Shared);
TOLM_METHOD_DEF(travel_distance_um, "travel_distance_um($self)",
                "Total travel distance (microns) — a cheap scalar objective.", Access::Shared);
TOLM_METHOD_DEF(occupancy_grid, "occupancy_grid($self, layer)",
                "Dense 0/1 occupancy raster for a layer: `(rows, cols, min_i, min_j, bytes)`. Wrap "
                "as\n`np.frombuffer(bytes, np.uint8).reshape(rows, cols)`.",
                Access::Shared);
TOLM_METHOD_DEF(
    legal_actions, "legal_actions($self)",
    "Enumerate the legal actions over the current program, as JSON. Serializes the "
    "whole list;\nfor a hot loop prefer `action_count` + `apply_index`/`apply_sampled`, "
    "which never marshal it.",
    Access::Shared);
TOLM_METHOD_DEF(action_count, "action_count($self)",
                "Number of legal actions right now — no serialization. Pair with "
                "`action`/`apply_index`.",
                Access::Shared);
TOLM_METHOD_DEF(action, "action($self, i)",
                "The i-th legal action as JSON (serializes just that one action).", Access::Shared);
TOLM_METHOD_DEF(apply, "apply($self, action_json)",
                "Apply one action (JSON, as from `legal_actions`/`action`) in place, marking the "
                "touched layers\ndirty. Returns the touched layer indices. Raises on an "
                "invalid/inapplicable action, leaving the\nprogram unchanged.",
                Access::Exclusive);
TOLM_METHOD_DEF(apply_index, "apply_index($self, i)",
                "Apply the i-th legal action in place — no JSON crosses the boundary. Returns "
                "touched layers.",
                Access::Exclusive);
TOLM_METHOD_DEF(
    apply_sampled, "apply_sampled($self, seed)",
    "Apply a seeded-deterministic legal action in place (the hot-loop primitive: no "
    "JSON, no full\naction list marshaled). Returns touched layers, or an empty list if "
    "there are no legal actions.",
    Access::Exclusive);
TOLM_METHOD_DEF(same_material, "same_material($self, other)",
                "Whether this program deposits the same material as `other` — a fast fingerprint "
                "compare (both\ncaches update incrementally). The constraint check for "
                "order-optimization RL.",
                Access::Exclusive);

TOLM_METHOD_DEF(iou_to, "iou_to($self, other, resolution_um=200)",
                "IoU similarity of deposited material to another handle (`None` if both empty) — a "
                "scalar reward.",
                Access::Shared);
TOLM_METHOD_DEF(graded_to, "graded_to($self, other, resolution_um=200)",
                "Graded nearest-miss distance report (JSON) to another handle — a smooth reward "
                "signal.",
                Access::Shared);
TOLM_METHOD_DEF(preserves_within,
                "preserves_within($self, reference, epsilon_um, resolution_um=200)",
                "Whether this program is within `epsilon_um` of a reference (worst nearest-miss).",
                Access::Shared);

PyMethodDef kMethods[] = {
    method_entry<tolm_method_def_from_json>("from_json", true),
    method_entry<tolm_method_def_from_gcode>("from_gcode", true),
    method_entry<tolm_method_def_to_json>("to_json", false),
    method_entry<tolm_method_def_to_gcode>("to_gcode", false),
    method_entry<tolm_method_def_copy>("copy", false),
    method_entry<tolm_method_def_set_resolution>("set_resolution", false),
    method_entry<tolm_method_def_mark_dirty>("mark_dirty", false),
    method_entry<tolm_method_def_layer_count>("layer_count", false),
    method_entry<tolm_method_def_toolpath_count>("toolpath_count", false),
    method_entry<tolm_method_def_occupancy>("occupancy", false),
    method_entry<tolm_method_def_fingerprint>("fingerprint", false),
    method_entry<tolm_method_def_canonical_hash>("canonical_hash", false),
    method_entry<tolm_method_def_travel_distance_um>("travel_distance_um", false),
    method_entry<tolm_method_def_occupancy_grid>("occupancy_grid", false),
    method_entry<tolm_method_def_legal_actions>("legal_actions", false),
    method_entry<tolm_method_def_action_count>("action_count", false),
    method_entry<tolm_method_def_action>("action", false),
    method_entry<tolm_method_def_apply>("apply", false),
    method_entry<tolm_method_def_apply_index>("apply_index", false),
    method_entry<tolm_method_def_apply_sampled>("apply_sampled", false),
    method_entry<tolm_method_def_same_material>("same_material", false),
    method_entry<tolm_method_def_iou_to>("iou_to", false),
    method_entry<tolm_method_def_graded_to>("graded_to", false),
    method_entry<tolm_method_def_preserves_within>("preserves_within", false),
    {nullptr, nullptr, 0, nullptr},
};

// ---- slots --------------------------------------------------------------------------------------

PyObject *program_new(PyTypeObject *, PyObject *, PyObject *) {
  return raise_type_error("No constructor defined for Program");
}

void program_dealloc(PyObject *self) {
  PyTypeObject *type = Py_TYPE(self);
  delete reinterpret_cast<ProgramObject *>(self)->handle;
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

PyObject *program_repr(PyObject *self) {
  return guarded([&]() -> PyObject * {
    Borrow borrow;
    if (!borrow.acquire(borrow_flag_of(self), Access::Shared))
      return nullptr;
    const Handle &h = state(self);
    uint64_t extrusions = 0;
    for (const ir::lo::Layer &layer : h.program.layers)
      for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
        extrusions += ir::lo::is_travel(toolpath) ? 0 : 1;
    std::string text = "Program(layers=" + std::to_string(h.program.layers.size()) +
                       ", toolpaths=" + std::to_string(extrusions) +
                       ", resolution_um=" + std::to_string(h.cache.resolution_um) + ")";
    return to_str(text);
  });
}

Py_ssize_t program_length(PyObject *self) {
  return static_cast<Py_ssize_t>(state(self).program.layers.size());
}

PyObject *get_resolution(PyObject *self, void *) { return to_int(state(self).cache.resolution_um); }

PyGetSetDef kGetSet[] = {
    {"resolution_um", &get_resolution, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The class's own methods followed by the analysis methods, with one terminator.
PyMethodDef *method_table() {
  static std::vector<PyMethodDef> methods;
  if (methods.empty()) {
    methods.assign(std::begin(kMethods), std::end(kMethods) - 1);
    auto plan_of = [](PyObject *self) -> const ir::lo::Program & { return state(self).program; };
    for (const PyMethodDef &def : analysis_methods(plan_of, &handle_argument))
      methods.push_back(def);
    methods.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  }
  return methods.data();
}

PyObject *make_type(PyObject *) {
  static PyType_Slot slots[] = {
      {Py_tp_doc,
       const_cast<char *>(
           "A native handle over a low-level move plan with an incremental denote cache.")},
      {Py_tp_new, reinterpret_cast<void *>(&program_new)},
      {Py_tp_dealloc, reinterpret_cast<void *>(&program_dealloc)},
      {Py_tp_repr, reinterpret_cast<void *>(&program_repr)},
      {Py_sq_length, reinterpret_cast<void *>(&program_length)},
      {Py_mp_length, reinterpret_cast<void *>(&program_length)},
      {Py_tp_methods, method_table()},
      {Py_tp_getset, kGetSet},
      {0, nullptr},
  };
  static PyType_Spec spec = {
      "_tolm.Program", static_cast<int>(sizeof(ProgramObject)), 0, Py_TPFLAGS_DEFAULT, slots,
  };
  PyObject *type = PyType_FromSpec(&spec);
  if (!type)
    return nullptr;
  Py_XDECREF(program_type);
  Py_INCREF(type);
  program_type = type;
  return type;
}

const ClassRegistrar kProgramClass("Program", make_type);

} // namespace

BorrowFlag &borrow_flag_of(PyObject *self) {
  return reinterpret_cast<ProgramObject *>(self)->borrow;
}

} // namespace tolm::py
