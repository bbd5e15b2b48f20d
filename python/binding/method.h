// Methods of native classes: the same argument rules as module functions (text signatures with
// "$self", binding by position or keyword, the binding guard), plus access checks on the
// instance. Access is tested, never waited for: a refused exclusive access raises RuntimeError
// "Already borrowed", a refused shared access "Already mutably borrowed".
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string_view>

#include "binding/call.h"
#include "binding/errors.h"
#include "binding/guard.h"
#include "binding/python.h"
#include "binding/signature.h"
#include "util/abort.h"

namespace tolm::py {

enum class Access : uint8_t { None, Shared, Exclusive };

/// The access state of one instance: 0 free, n > 0 shared by n calls, -1 held exclusively.
struct BorrowFlag {
  int64_t state = 0;
};

/// Holds one access to an instance for the duration of a scope.
class Borrow {
public:
  Borrow() = default;
  Borrow(const Borrow &) = delete;
  Borrow &operator=(const Borrow &) = delete;
  ~Borrow() { release(); }

  /// Takes `access` on `flag`; false with RuntimeError set when it is refused.
  bool acquire(BorrowFlag &flag, Access access) {
    release();
    if (access == Access::None)
      return true;
    if (access == Access::Exclusive) {
      if (flag.state != 0) {
        raise_runtime_error("Already borrowed");
        return false;
      }
      flag.state = -1;
    } else {
      if (flag.state < 0) {
        raise_runtime_error("Already mutably borrowed");
        return false;
      }
      ++flag.state;
    }
    flag_ = &flag;
    access_ = access;
    return true;
  }

  void release() {
    if (!flag_)
      return;
    if (access_ == Access::Exclusive)
      flag_->state = 0;
    else
      --flag_->state;
    flag_ = nullptr;
  }

private:
  BorrowFlag *flag_ = nullptr;
  Access access_ = Access::None;
};

using MethodBody = PyObject *(*)(PyObject *self, Call &);

struct MethodDef {
  Signature signature;
  /// The full docstring: the text signature, a line "--", an empty line, the documentation.
  const char *doc;
  MethodBody body;
  /// The access the method takes on its instance (None for static methods).
  Access access;
};

/// The instance's access flag; a class using these entries provides it.
BorrowFlag &borrow_flag_of(PyObject *self);

inline PyObject *run_method(const MethodDef &def, PyObject *self, PyObject *const *args,
                            Py_ssize_t nargs, PyObject *kwnames) {
  return guarded([&]() -> PyObject * {
    Call call;
    if (def.signature.count > 0 && !call.bind(def.signature, args, nargs, kwnames))
      return nullptr;
    Borrow borrow;
    if (def.access != Access::None && !borrow.acquire(borrow_flag_of(self), def.access))
      return nullptr;
    return def.body(self, call);
  });
}

template <const MethodDef &def>
PyObject *method_fastcall_entry(PyObject *self, PyObject *const *args, Py_ssize_t nargs,
                                PyObject *kwnames) {
  return run_method(def, self, args, nargs, kwnames);
}

template <const MethodDef &def> PyObject *method_noargs_entry(PyObject *self, PyObject *) {
  return run_method(def, self, nullptr, 0, nullptr);
}

/// The method-table entry of `def`: fast calling with keywords, or no arguments at all when the
/// signature has no parameters; `static_method` adds METH_STATIC.
template <const MethodDef &def> PyMethodDef method_entry(const char *name, bool static_method) {
  const bool noargs = def.signature.count == 0;
  PyCFunction entry = noargs ? reinterpret_cast<PyCFunction>(&method_noargs_entry<def>)
                             : reinterpret_cast<PyCFunction>(
                                   reinterpret_cast<void (*)()>(&method_fastcall_entry<def>));
  int flags = noargs ? METH_NOARGS : (METH_FASTCALL | METH_KEYWORDS);
  if (static_method)
    flags |= METH_STATIC;
  return PyMethodDef{name, entry, flags, def.doc};
}

} // namespace tolm::py

/// Defines the MethodDef `tolm_method_def_NAME` for the body `NAME(PyObject *self, Call &)`.
#define TOLM_METHOD_DEF(NAME, SIGNATURE, DOC, ACCESS)                                              \
  static constexpr ::tolm::py::MethodDef tolm_method_def_##NAME {                                  \
    ::tolm::py::Signature(SIGNATURE), SIGNATURE "\n--\n\n" DOC, &NAME, ACCESS                      \
  }
