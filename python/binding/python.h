// The one place that includes Python.h: the extension is built against the stable ABI of
// CPython 3.11.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#if !defined(Py_LIMITED_API) || Py_LIMITED_API < 0x030B0000
#error "_tolm must be built against the CPython 3.11 limited API (Py_LIMITED_API >= 0x030B0000)"
#endif
