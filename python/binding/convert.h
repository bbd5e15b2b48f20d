// Results as Python values. A result the interpreter refuses to create is an internal abort.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "binding/python.h"

namespace tolm::py {

/// A new str from UTF-8 text.
PyObject *to_str(std::string_view text);
PyObject *to_bytes(std::span<const uint8_t> data);
PyObject *to_int(int64_t v);
PyObject *to_uint(uint64_t v);
PyObject *to_float(double v);
PyObject *to_bool(bool v);
PyObject *none();
/// A tuple of new references (stolen).
PyObject *to_tuple(std::initializer_list<PyObject *> items);
/// A list of new references (stolen).
PyObject *to_list(std::span<PyObject *const> items);
PyObject *to_int_list(std::span<const uint64_t> values);
PyObject *to_float_list(std::span<const double> values);
PyObject *to_bool_list(std::span<const bool> values);
PyObject *to_bool_list(const std::vector<bool> &values);

} // namespace tolm::py
