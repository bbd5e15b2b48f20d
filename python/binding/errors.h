// Turning error values into Python exceptions. Every function returns nullptr (the failure
// sentinel) after setting the exception, so a body can `return raise_value_error(...)`.
#pragma once

#include <string_view>

#include "binding/python.h"
#include "json/reader.h"

namespace tolm::py {

/// ValueError with `message`.
PyObject *raise_value_error(std::string_view message);
/// ValueError with `prefix` immediately followed by the reader's error text.
PyObject *raise_read_error(std::string_view prefix, const json::ReadError &error);
/// RuntimeError with `message`.
PyObject *raise_runtime_error(std::string_view message);
/// TypeError with `message`.
PyObject *raise_type_error(std::string_view message);

/// The exception type raised when the core's own invariants break (derived from BaseException).
PyObject *internal_error_type();

} // namespace tolm::py
