#include "binding/function.h"

#include <exception>
#include <new>
#include <string>

#include "binding/errors.h"
#include "binding/guard.h"
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

PyObject *guarded_call(const FunctionDef &def, PyObject *const *args, Py_ssize_t nargs,
                       PyObject *kwnames) {
  return guarded([&]() -> PyObject * {
    Call call;
    if (def.signature.count > 0 && !call.bind(def.signature, args, nargs, kwnames))
      return nullptr;
    return def.body(call);
  });
}

} // namespace tolm::py
