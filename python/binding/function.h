// Module functions: each is defined next to the code it exposes, with its text signature, its
// docstring and a small body that calls the core. The module frame adds the registered functions
// in the published order (module.cpp).
//
//   namespace {
//   PyObject *version(tolm::py::Call &) { return tolm::py::to_str(TOLM_VERSION); }
//   }
//   TOLM_FUNCTION(version, "version()", "The version of the core library.");
#pragma once

#include <string_view>

#include "binding/call.h"
#include "binding/python.h"
#include "binding/signature.h"

namespace tolm::py {

using FunctionBody = PyObject *(*)(Call &);

struct FunctionDef {
  Signature signature;
  /// The full docstring: the text signature, a line "--", an empty line, the documentation.
  const char *doc;
  FunctionBody body;
};

/// Runs a body inside the binding guard: std::bad_alloc becomes MemoryError, an internal abort
/// (or any other C++ exception) becomes the module's internal error type.
PyObject *guarded_call(const FunctionDef &def, PyObject *const *args, Py_ssize_t nargs,
                       PyObject *kwnames);

template <const FunctionDef &def>
PyObject *fastcall_entry(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  return guarded_call(def, args, nargs, kwnames);
}

template <const FunctionDef &def> PyObject *noargs_entry(PyObject *, PyObject *) {
  return guarded_call(def, nullptr, 0, nullptr);
}

/// Adds a function to the registry at static-initialisation time.
struct FunctionRegistrar {
  FunctionRegistrar(const FunctionDef &def, PyCFunction entry, int flags);
};

/// A class (the `Program` handle) registers a maker that creates its type object.
struct ClassRegistrar {
  ClassRegistrar(const char *name, PyObject *(*make_type)(PyObject *module));
};

} // namespace tolm::py

#define TOLM_FUNCTION(NAME, SIGNATURE, DOC)                                                        \
  static constexpr ::tolm::py::FunctionDef tolm_function_def_##NAME{                               \
      ::tolm::py::Signature(SIGNATURE), SIGNATURE "\n--\n\n" DOC, &NAME};                          \
  static const ::tolm::py::FunctionRegistrar tolm_function_registrar_##NAME {                      \
    tolm_function_def_##NAME,                                                                      \
        tolm_function_def_##NAME.signature.count == 0                                              \
            ? reinterpret_cast<PyCFunction>(&::tolm::py::noargs_entry<tolm_function_def_##NAME>)   \
            : reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(                          \
                  &::tolm::py::fastcall_entry<tolm_function_def_##NAME>)),                         \
        tolm_function_def_##NAME.signature.count == 0 ? METH_NOARGS                                \
                                                      : (METH_FASTCALL | METH_KEYWORDS)            \
  }
