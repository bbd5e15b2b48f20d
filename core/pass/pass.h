// A pass transforms a whole move plan while keeping the deposited material unchanged.
#pragma once

#include <variant>

#include "ir/lo.h"
#include "pass/travel_order.h"

namespace tolm::pass {

/// The passes of the system, each a settings record with its own `run`.
using Pass = std::variant<TravelOrder>;

/// Runs a pass on a program (consumed) and returns the transformed program.
inline ir::lo::Program run(const Pass &pass, ir::lo::Program program) {
  return std::visit([&](const auto &settings) { return run(settings, std::move(program)); }, pass);
}

} // namespace tolm::pass
