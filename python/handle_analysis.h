// The analysis methods of the `Program` class (statistics, commanded flow, print time,
// printability, learning features), defined apart from the class. The class hands over its two
// accessors when it builds its method table, so this file depends on nothing of its internals.
#pragma once

#include <cstddef>
#include <span>

#include "binding/call.h"
#include "binding/python.h"
#include "ir/lo.h"

namespace tolm::py {

/// The plan of a `Program` instance.
using PlanOf = const ir::lo::Program &(*)(PyObject *self);
/// The `Program` argument at `index`, or nullptr with TypeError naming the parameter.
using ProgramArgument = PyObject *(*)(Call &call, size_t index);

/// The analysis methods, to append to the class's method table (without a terminator). The
/// accessors are kept for the life of the process.
std::span<const PyMethodDef> analysis_methods(PlanOf plan_of, ProgramArgument program_argument);

} // namespace tolm::py
