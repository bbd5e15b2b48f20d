#include "transform/action_json.h"

#include <array>
#include <string>

namespace tolm::transform {
namespace {

constexpr std::array<std::string_view, 6> kVariantNames = {"ReversePath",      "SwapToolpaths",
                                                           "PermuteToolpaths", "SplitSegment",
                                                           "MergeCollinear",   "RelocateSeam"};

constexpr std::array<std::string_view, 2> kReverseFields = {"layer", "toolpath"};
constexpr std::array<std::string_view, 3> kSwapFields = {"layer", "a", "b"};
constexpr std::array<std::string_view, 2> kPermuteFields = {"layer", "perm"};
constexpr std::array<std::string_view, 4> kSplitFields = {"layer", "toolpath", "segment",
                                                          "t_permille"};
constexpr std::array<std::string_view, 2> kMergeFields = {"layer", "toolpath"};
constexpr std::array<std::string_view, 3> kSeamFields = {"layer", "toolpath", "vertex"};

json::RecordShape shape(std::string_view name, std::span<const std::string_view> fields) {
  // No field has a default: the array form must hold every field.
  return json::RecordShape{name, fields, fields.size(), 0};
}

bool read_index_list(json::Reader &reader, std::vector<uint64_t> &out) {
  if (!reader.begin_array())
    return false;
  while (reader.next_element()) {
    uint64_t v = 0;
    if (!reader.read_u64(v))
      return false;
    out.push_back(v);
  }
  return !reader.failed();
}

bool read_u16(json::Reader &reader, uint16_t &out) {
  uint64_t v = 0;
  if (!reader.read_unsigned(v, UINT16_MAX, "u16"))
    return false;
  out = static_cast<uint16_t>(v);
  return true;
}

bool read_fields(json::Reader &reader, size_t variant, Action &out) {
  switch (variant) {
  case 0: {
    ReversePath a;
    if (!json::read_record(
            reader, shape("struct variant Action::ReversePath", kReverseFields),
            [&](size_t f) { return reader.read_u64(f == 0 ? a.layer : a.toolpath); }))
      return false;
    out = a;
    return true;
  }
  case 1: {
    SwapToolpaths a;
    uint64_t *fields[] = {&a.layer, &a.a, &a.b};
    if (!json::read_record(reader, shape("struct variant Action::SwapToolpaths", kSwapFields),
                           [&](size_t f) { return reader.read_u64(*fields[f]); }))
      return false;
    out = a;
    return true;
  }
  case 2: {
    PermuteToolpaths a;
    if (!json::read_record(reader, shape("struct variant Action::PermuteToolpaths", kPermuteFields),
                           [&](size_t f) {
                             return f == 0 ? reader.read_u64(a.layer)
                                           : read_index_list(reader, a.perm);
                           }))
      return false;
    out = std::move(a);
    return true;
  }
  case 3: {
    SplitSegment a;
    uint64_t *fields[] = {&a.layer, &a.toolpath, &a.segment};
    if (!json::read_record(
            reader, shape("struct variant Action::SplitSegment", kSplitFields), [&](size_t f) {
              return f == 3 ? read_u16(reader, a.t_permille) : reader.read_u64(*fields[f]);
            }))
      return false;
    out = a;
    return true;
  }
  case 4: {
    MergeCollinear a;
    if (!json::read_record(
            reader, shape("struct variant Action::MergeCollinear", kMergeFields),
            [&](size_t f) { return reader.read_u64(f == 0 ? a.layer : a.toolpath); }))
      return false;
    out = a;
    return true;
  }
  default: {
    RelocateSeam a;
    uint64_t *fields[] = {&a.layer, &a.toolpath, &a.vertex};
    if (!json::read_record(reader, shape("struct variant Action::RelocateSeam", kSeamFields),
                           [&](size_t f) { return reader.read_u64(*fields[f]); }))
      return false;
    out = a;
    return true;
  }
  }
}

struct FieldWriter {
  json::Writer &writer;

  void operator()(const ReversePath &a) {
    writer.member("layer", a.layer);
    writer.member("toolpath", a.toolpath);
  }
  void operator()(const SwapToolpaths &a) {
    writer.member("layer", a.layer);
    writer.member("a", a.a);
    writer.member("b", a.b);
  }
  void operator()(const PermuteToolpaths &a) {
    writer.member("layer", a.layer);
    writer.key("perm");
    writer.begin_array();
    for (uint64_t v : a.perm)
      writer.value(v);
    writer.end_array();
  }
  void operator()(const SplitSegment &a) {
    writer.member("layer", a.layer);
    writer.member("toolpath", a.toolpath);
    writer.member("segment", a.segment);
    writer.member("t_permille", static_cast<uint64_t>(a.t_permille));
  }
  void operator()(const MergeCollinear &a) {
    writer.member("layer", a.layer);
    writer.member("toolpath", a.toolpath);
  }
  void operator()(const RelocateSeam &a) {
    writer.member("layer", a.layer);
    writer.member("toolpath", a.toolpath);
    writer.member("vertex", a.vertex);
  }
};

} // namespace

bool read_action(json::Reader &reader, Action &out) {
  // Only the externally tagged object form names an action; a bare variant string carries no
  // fields and is refused here rather than by the variant reader.
  if (reader.peek() != json::Token::Object)
    return reader.fail("invalid type: " + reader.describe_next() +
                       ", expected an action (an object with one member naming its variant)");
  json::VariantTag tag;
  if (!json::begin_variant(reader, kVariantNames, "enum Action", tag))
    return false;
  if (!read_fields(reader, tag.index, out))
    return false;
  return json::end_variant(reader, tag);
}

std::expected<Action, json::ReadError> read_action(std::string_view text) {
  json::Reader reader(text);
  Action action;
  if (!read_action(reader, action) || !reader.finish())
    return std::unexpected(reader.error());
  return action;
}

void write_action(json::Writer &writer, const Action &action) {
  writer.begin_object();
  writer.key(kVariantNames[action.index()]);
  writer.begin_object();
  std::visit(FieldWriter{writer}, action);
  writer.end_object();
  writer.end_object();
}

void write_actions(json::Writer &writer, std::span<const Action> actions) {
  writer.begin_array();
  for (const Action &action : actions)
    write_action(writer, action);
  writer.end_array();
}

} // namespace tolm::transform
