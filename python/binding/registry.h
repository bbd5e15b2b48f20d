// What the function and class registrars collected, for the module frame to add in order.
#pragma once

#include <deque>

#include "binding/function.h"

namespace tolm::py {

struct RegisteredFunction {
  const FunctionDef *def;
  PyMethodDef method;
};

struct RegisteredClass {
  const char *name;
  PyObject *(*make_type)(PyObject *module);
};

/// Registered functions; a deque so that each PyMethodDef keeps its address.
std::deque<RegisteredFunction> &registered_functions();
std::deque<RegisteredClass> &registered_classes();

} // namespace tolm::py
