#include "binding/convert.h"

#include "util/abort.h"

namespace tolm::py {

namespace {

PyObject *checked(PyObject *object, const char *what) {
  if (object == nullptr)
    internal_abort(std::string("could not create the result ") + what);
  return object;
}

} // namespace

PyObject *to_str(std::string_view text) {
  return checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())),
                 "str");
}

PyObject *to_bytes(std::span<const uint8_t> data) {
  return checked(PyBytes_FromStringAndSize(reinterpret_cast<const char *>(data.data()),
                                           static_cast<Py_ssize_t>(data.size())),
                 "bytes");
}

PyObject *to_int(int64_t v) { return checked(PyLong_FromLongLong(v), "int"); }
PyObject *to_uint(uint64_t v) { return checked(PyLong_FromUnsignedLongLong(v), "int"); }
PyObject *to_float(double v) { return checked(PyFloat_FromDouble(v), "float"); }
PyObject *to_bool(bool v) { return Py_NewRef(v ? Py_True : Py_False); }
PyObject *none() { return Py_NewRef(Py_None); }

PyObject *to_tuple(std::initializer_list<PyObject *> items) {
  PyObject *tuple = PyTuple_New(static_cast<Py_ssize_t>(items.size()));
  if (tuple == nullptr) {
    for (PyObject *item : items)
      Py_XDECREF(item);
    internal_abort("could not create the result tuple");
  }
  Py_ssize_t k = 0;
  for (PyObject *item : items)
    PyTuple_SetItem(tuple, k++, item);
  return tuple;
}

PyObject *to_list(std::span<PyObject *const> items) {
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(items.size()));
  if (list == nullptr) {
    for (PyObject *item : items)
      Py_XDECREF(item);
    internal_abort("could not create the result list");
  }
  Py_ssize_t k = 0;
  for (PyObject *item : items)
    PyList_SetItem(list, k++, item);
  return list;
}

namespace {

template <class T, class Make> PyObject *make_list(std::span<const T> values, Make &&make) {
  PyObject *list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())), "list");
  for (size_t k = 0; k < values.size(); ++k) {
    PyObject *item = make(values[k]);
    PyList_SetItem(list, static_cast<Py_ssize_t>(k), item);
  }
  return list;
}

} // namespace

PyObject *to_int_list(std::span<const uint64_t> values) {
  return make_list(values, [](uint64_t v) { return to_uint(v); });
}

PyObject *to_float_list(std::span<const double> values) {
  return make_list(values, [](double v) { return to_float(v); });
}

PyObject *to_bool_list(std::span<const bool> values) {
  return make_list(values, [](bool v) { return to_bool(v); });
}

PyObject *to_bool_list(const std::vector<bool> &values) {
  PyObject *list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())), "list");
  for (size_t k = 0; k < values.size(); ++k)
    PyList_SetItem(list, static_cast<Py_ssize_t>(k), to_bool(values[k]));
  return list;
}

} // namespace tolm::py
