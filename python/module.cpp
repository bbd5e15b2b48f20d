// The module frame: creates `_tolm` once per process and adds its functions and its class in
// the published order, each name appended to `__all__` as it is added.
#include <string_view>

#include "binding/errors.h"
#include "binding/python.h"
#include "binding/registry.h"

namespace tolm::py {

namespace {

// The published names, in registration order.
constexpr std::string_view kPublishedNames[] = {
    "program_to_gcode",
    "lower_to_json",
    "check_self_lowering_sound",
    "demo_square_json",
    "parse_gcode",
    "verify_gcode",
    "verify_roundtrip",
    "diff_gcode",
    "diff_programs",
    "graded_diff",
    "graded_diff_gcode",
    "rotate_z",
    "voxelize",
    "rot_x90",
    "rot_y90",
    "rot_z90",
    "rotate_bounds",
    "compare_rotated",
    "occupancy",
    "program_stats",
    "deposit_stats",
    "travel_collisions",
    "volume_stats",
    "denote_flow",
    "flow_stats",
    "e_conserved",
    "legal_actions",
    "apply_action",
    "print_time",
    "is_printable",
    "default_machine_profile",
    "preserves_within",
    "verify_batch",
    "canonical_hash",
    "material_fingerprint",
    "feature_matrix",
    "occupancy_grid",
    "travel_graph",
    "feature_columns",
    "export_versioned",
    "import_versioned",
    "Program",
    "demo_square_gcode",
    "demo_self_lowering_sound",
    "demo_travel_order",
    "version",
};

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "_tolm",
    "",
    // Not -1: a second interpreter then calls the init function again instead of copying
    // this module's dict, and is refused there.
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject *g_module = nullptr;
int64_t g_interpreter = -1;

bool is_published(std::string_view name) {
  for (std::string_view published : kPublishedNames)
    if (published == name)
      return true;
  return false;
}

// Adds `object` (a new reference, stolen) under `name` and appends the name to `__all__`.
bool publish(PyObject *module, PyObject *&all, const char *name, PyObject *object) {
  if (object == nullptr)
    return false;
  if (all == nullptr) {
    all = PyList_New(0);
    if (all == nullptr || PyModule_AddObjectRef(module, "__all__", all) < 0) {
      Py_DECREF(object);
      return false;
    }
  }
  PyObject *text = PyUnicode_FromString(name);
  bool ok = text != nullptr && PyModule_AddObjectRef(module, name, object) == 0 &&
            PyList_Append(all, text) == 0;
  Py_XDECREF(text);
  Py_DECREF(object);
  return ok;
}

PyObject *create_module() {
  // Every registered function must have a place in the published order.
  for (const RegisteredFunction &function : registered_functions())
    if (!is_published(function.def->signature.function)) {
      PyErr_Format(PyExc_SystemError, "_tolm: function %s has no place in the published order",
                   function.method.ml_name);
      return nullptr;
    }

  PyObject *module = PyModule_Create(&g_module_def);
  if (module == nullptr)
    return nullptr;
  PyObject *module_name = PyUnicode_FromString("_tolm");
  PyObject *all = nullptr;
  bool ok = module_name != nullptr;
  for (std::string_view name : kPublishedNames) {
    if (!ok)
      break;
    for (RegisteredClass &cls : registered_classes())
      if (name == cls.name)
        ok = ok && publish(module, all, cls.name, cls.make_type(module));
    for (RegisteredFunction &function : registered_functions())
      if (name == function.def->signature.function)
        ok = ok && publish(module, all, function.method.ml_name,
                           PyCFunction_NewEx(&function.method, module, module_name));
  }
  // The exception type for internal aborts; reachable for `except`, not a published name.
  PyObject *internal = internal_error_type();
  ok = ok && internal != nullptr && PyModule_AddObjectRef(module, "InternalError", internal) == 0;
  Py_XDECREF(module_name);
  Py_XDECREF(all);
  if (!ok) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

} // namespace

} // namespace tolm::py

PyMODINIT_FUNC PyInit__tolm(void) {
  using namespace tolm::py;
  PyInterpreterState *state = PyInterpreterState_Get();
  int64_t interpreter = PyInterpreterState_GetID(state);
  if (g_module != nullptr) {
    if (interpreter != g_interpreter) {
      PyErr_SetString(PyExc_ImportError,
                      "_tolm supports one interpreter per process and is already loaded in "
                      "another one");
      return nullptr;
    }
    return Py_NewRef(g_module);
  }
  PyObject *module = create_module();
  if (module == nullptr)
    return nullptr;
  g_module = module;
  g_interpreter = interpreter;
  return Py_NewRef(module);
}
