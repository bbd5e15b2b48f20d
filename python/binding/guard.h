// The binding guard: every entry point runs its body inside it, so that no C++ exception
// unwinds into the interpreter.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>

#include "binding/errors.h"
#include "binding/python.h"

namespace tolm::py {

/// Runs `fn` (returning a new reference or nullptr with an exception set): std::bad_alloc and
/// std::length_error become MemoryError; an internal abort (or any other C++ exception) becomes
/// the module's internal error type, and so does a failure without an exception.
template <class F> PyObject *guarded(F &&fn) {
  auto internal = [](const char *what) -> PyObject * {
    // A pending exception from the failed step is replaced by the abort.
    PyErr_Clear();
    PyErr_SetString(internal_error_type(), what);
    return nullptr;
  };
  try {
    PyObject *result = fn();
    if (result == nullptr && !PyErr_Occurred())
      return internal("a call failed without setting an exception");
    return result;
  } catch (const std::bad_alloc &) {
    PyErr_Clear();
    return PyErr_NoMemory();
  } catch (const std::length_error &) {
    PyErr_Clear();
    return PyErr_NoMemory();
  } catch (const std::exception &error) {
    return internal(error.what());
  } catch (...) {
    return internal("unknown internal failure");
  }
}

} // namespace tolm::py
