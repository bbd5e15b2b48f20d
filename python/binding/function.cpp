#include "binding/function.h"

#include <exception>
#include <new>
#include <string>

#include "binding/errors.h"
#include "binding/registry.h"
#include "util/abort.h"

namespace tolm::py {

std::deque<RegisteredFunction> &registered_functions() {
  static std::deque<RegisteredFunction> functions;
  return functions;
}

std::deque<RegisteredClass> &registered_classes() {
  static std::deque<RegisteredClass> classes;
  return classes;
}

FunctionRegistrar::FunctionRegistrar(const FunctionDef &def, PyCFunction entry, int flags) {
  static std::deque<std::string> names;
  names.emplace_back(def.signature.function);
  registered_functions().push_back(
      RegisteredFunction{&def, PyMethodDef{names.back().c_str(), entry, flags, def.doc}});
}

ClassRegistrar::ClassRegistrar(const char *name, PyObject *(*make_type)(PyObject *module)) {
  registered_classes().push_back(RegisteredClass{name, make_type});
}

namespace {

PyObject *raise_internal(const char *what) {
  // A pending exception from the failed step is replaced by the abort.
  PyErr_Clear();
  PyErr_SetString(internal_error_type(), what);
  return nullptr;
}

} // namespace

PyObject *guarded_call(const FunctionDef &def, PyObject *const *args, Py_ssize_t nargs,
                       PyObject *kwnames) {
  try {
    Call call;
    if (def.signature.count > 0 && !call.bind(def.signature, args, nargs, kwnames))
      return nullptr;
    PyObject *result = def.body(call);
    if (result == nullptr && !PyErr_Occurred())
      return raise_internal("a function failed without setting an exception");
    return result;
  } catch (const std::bad_alloc &) {
    PyErr_Clear();
    return PyErr_NoMemory();
  } catch (const std::length_error &) {
    PyErr_Clear();
    return PyErr_NoMemory();
  } catch (const InternalAbort &abort) {
    return raise_internal(abort.what());
  } catch (const std::exception &error) {
    return raise_internal(error.what());
  } catch (...) {
    return raise_internal("unknown internal failure");
  }
}

} // namespace tolm::py
