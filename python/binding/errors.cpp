#include "binding/errors.h"

#include <string>

namespace tolm::py {

namespace {

PyObject *raise(PyObject *type, std::string_view message) {
  PyObject *text =
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr)
    return nullptr;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
  return nullptr;
}

} // namespace

PyObject *raise_value_error(std::string_view message) { return raise(PyExc_ValueError, message); }

PyObject *raise_read_error(std::string_view prefix, const json::ReadError &error) {
  std::string message;
  message.reserve(prefix.size() + error.message.size());
  message.append(prefix);
  message.append(error.message);
  return raise(PyExc_ValueError, message);
}

PyObject *raise_runtime_error(std::string_view message) {
  return raise(PyExc_RuntimeError, message);
}

PyObject *raise_type_error(std::string_view message) { return raise(PyExc_TypeError, message); }

PyObject *internal_error_type() {
  // Created once with the module and kept for the life of the process.
  static PyObject *type =
      PyErr_NewExceptionWithDoc("_tolm.InternalError",
                                "A broken internal invariant of the core library (a bug in tolm, "
                                "never caused by input).",
                                PyExc_BaseException, nullptr);
  return type;
}

} // namespace tolm::py
