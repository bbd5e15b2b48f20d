// The JSON form of actions: externally tagged, {"SplitSegment": {"layer": 0, ...}}, fields in
// declaration order; fields may also be given as an array in that order.
#pragma once

#include <expected>
#include <span>
#include <string_view>

#include "transform/action.h"
#include "json/reader.h"
#include "json/writer.h"

namespace tolm::transform {

/// Reads one action; the text must hold nothing else.
std::expected<Action, json::ReadError> read_action(std::string_view text);
/// Reads one action at the reader's position.
bool read_action(json::Reader &reader, Action &out);

void write_action(json::Writer &writer, const Action &action);
/// A JSON array of actions.
void write_actions(json::Writer &writer, std::span<const Action> actions);

} // namespace tolm::transform
