#include "binding/call.h"

#include <string>

namespace tolm::py {

namespace {

std::string function_label(const Signature &signature) {
  return std::string(signature.function) + "()";
}

std::string type_name(PyObject *object) {
  PyObject *name = PyType_GetName(Py_TYPE(object));
  if (name == nullptr) {
    PyErr_Clear();
    return "object";
  }
  Py_ssize_t size = 0;
  const char *text = PyUnicode_AsUTF8AndSize(name, &size);
  std::string out = text ? std::string(text, static_cast<size_t>(size)) : "object";
  if (!text)
    PyErr_Clear();
  Py_DECREF(name);
  return out;
}

bool is_numpy_bool(PyObject *object) {
  PyObject *type = reinterpret_cast<PyObject *>(Py_TYPE(object));
  PyObject *module = PyObject_GetAttrString(type, "__module__");
  if (module == nullptr) {
    PyErr_Clear();
    return false;
  }
  bool numpy = PyUnicode_Check(module) && PyUnicode_CompareWithASCIIString(module, "numpy") == 0;
  Py_DECREF(module);
  if (!numpy)
    return false;
  PyObject *name = PyType_GetName(Py_TYPE(object));
  if (name == nullptr) {
    PyErr_Clear();
    return false;
  }
  bool boolean = PyUnicode_CompareWithASCIIString(name, "bool") == 0 ||
                 PyUnicode_CompareWithASCIIString(name, "bool_") == 0;
  Py_DECREF(name);
  return boolean;
}

bool utf8_view(PyObject *text, std::string_view &out) {
  Py_ssize_t size = 0;
  const char *data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr)
    return false; // the interpreter's UnicodeEncodeError
  out = std::string_view(data, static_cast<size_t>(size));
  return true;
}

} // namespace

Call::~Call() {
  for (PyObject *object : owned_)
    Py_DECREF(object);
}

bool Call::bind(const Signature &signature, PyObject *const *args, Py_ssize_t nargs,
                PyObject *kwnames) {
  signature_ = &signature;
  const size_t count = signature.count;
  const size_t positional = static_cast<size_t>(nargs);
  if (positional > count) {
    PyErr_Format(PyExc_TypeError, "%s takes at most %zu argument%s (%zu given)",
                 function_label(signature).c_str(), count, count == 1 ? "" : "s", positional);
    return false;
  }
  for (size_t k = 0; k < positional; ++k)
    slots_[k] = args[k];
  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
      PyObject *name = PyTuple_GetItem(kwnames, k);
      std::string_view key;
      if (name == nullptr || !utf8_view(name, key))
        return false;
      size_t index = count;
      for (size_t p = 0; p < count; ++p)
        if (signature.names[p] == key) {
          index = p;
          break;
        }
      if (index == count) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                     function_label(signature).c_str(), name);
        return false;
      }
      if (slots_[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "argument for %s given by name ('%U') and position (%zu)",
                     function_label(signature).c_str(), name, index + 1);
        return false;
      }
      slots_[index] = args[nargs + k];
    }
  }
  for (size_t p = 0; p < signature.required; ++p)
    if (slots_[p] == nullptr) {
      const std::string name(signature.names[p]);
      PyErr_Format(PyExc_TypeError, "%s missing required argument '%s' (pos %zu)",
                   function_label(signature).c_str(), name.c_str(), p + 1);
      return false;
    }
  return true;
}

bool Call::type_error(size_t index, std::string_view expected) const {
  const std::string name(signature_->names[index]);
  const std::string expected_text(expected);
  PyErr_Format(PyExc_TypeError, "%s argument '%s' must be %s, not %s",
               function_label(*signature_).c_str(), name.c_str(), expected_text.c_str(),
               type_name(slots_[index]).c_str());
  return false;
}

bool Call::str(size_t index, std::string_view &out) const {
  PyObject *object = slots_[index];
  if (object == nullptr) {
    out = {};
    return true;
  }
  if (!PyUnicode_Check(object))
    return type_error(index, "str");
  return utf8_view(object, out);
}

bool Call::optional_str(size_t index, std::optional<std::string_view> &out) const {
  PyObject *object = slots_[index];
  out.reset();
  if (object == nullptr || object == Py_None)
    return true;
  if (!PyUnicode_Check(object))
    return type_error(index, "str or None");
  std::string_view view;
  if (!utf8_view(object, view))
    return false;
  out = view;
  return true;
}

bool Call::convert_i64(size_t index, int64_t &out, std::string_view expected) const {
  long long value = PyLong_AsLongLong(slots_[index]);
  if (value == -1 && PyErr_Occurred()) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError))
      return false; // the interpreter's own error, unchanged
    PyErr_Clear();
    return type_error(index, expected);
  }
  out = static_cast<int64_t>(value);
  return true;
}

bool Call::i64(size_t index, int64_t &out, int64_t fallback) const {
  if (slots_[index] == nullptr) {
    out = fallback;
    return true;
  }
  return convert_i64(index, out, "int");
}

bool Call::optional_i64(size_t index, std::optional<int64_t> &out) const {
  out.reset();
  PyObject *object = slots_[index];
  if (object == nullptr || object == Py_None)
    return true;
  int64_t value = 0;
  if (!convert_i64(index, value, "int or None"))
    return false;
  out = value;
  return true;
}

bool Call::u64(size_t index, uint64_t &out, uint64_t fallback) const {
  PyObject *object = slots_[index];
  if (object == nullptr) {
    out = fallback;
    return true;
  }
  PyObject *integer = PyNumber_Index(object);
  if (integer == nullptr) {
    PyErr_Clear();
    return type_error(index, "int");
  }
  unsigned long long value = PyLong_AsUnsignedLongLong(integer);
  Py_DECREF(integer);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred())
    return false; // OverflowError for negative or too large values, unchanged
  out = static_cast<uint64_t>(value);
  return true;
}

bool Call::f64(size_t index, double &out, double fallback) const {
  PyObject *object = slots_[index];
  if (object == nullptr) {
    out = fallback;
    return true;
  }
  double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError))
      return false; // an int too large for a double
    PyErr_Clear();
    return type_error(index, "float");
  }
  out = value;
  return true;
}

bool Call::boolean(size_t index, bool &out, bool fallback) const {
  PyObject *object = slots_[index];
  if (object == nullptr) {
    out = fallback;
    return true;
  }
  if (PyBool_Check(object)) {
    out = object == Py_True;
    return true;
  }
  if (is_numpy_bool(object)) {
    int truth = PyObject_IsTrue(object);
    if (truth < 0)
      return false;
    out = truth == 1;
    return true;
  }
  return type_error(index, "bool");
}

bool Call::str_list(size_t index, std::vector<std::string_view> &out) const {
  PyObject *object = slots_[index];
  out.clear();
  if (object == nullptr)
    return true;
  if (PyUnicode_Check(object) || !PySequence_Check(object))
    return type_error(index, "a sequence of str");
  Py_ssize_t size = PySequence_Size(object);
  if (size < 0)
    return false;
  out.reserve(static_cast<size_t>(size));
  for (Py_ssize_t k = 0; k < size; ++k) {
    PyObject *item = PySequence_GetItem(object, k);
    if (item == nullptr)
      return false;
    // Keep the item alive for as long as its text is used.
    owned_.push_back(item);
    if (!PyUnicode_Check(item)) {
      const std::string name(signature_->names[index]);
      PyErr_Format(PyExc_TypeError,
                   "%s argument '%s' must be a sequence of str, not one holding %s",
                   function_label(*signature_).c_str(), name.c_str(), type_name(item).c_str());
      return false;
    }
    std::string_view view;
    if (!utf8_view(item, view))
      return false;
    out.push_back(view);
  }
  return true;
}

} // namespace tolm::py
