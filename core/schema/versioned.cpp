#include "schema/versioned.h"

#include <array>

#include "ir/json_io.h"
#include "json/value.h"
#include "json/writer.h"

namespace tolm::schema {

namespace {

json::Value integer(int64_t v) { return json::Value{v}; }

json::Value point_value(const ir::Point &point) {
  json::Object object;
  object.set("x", integer(point.x));
  object.set("y", integer(point.y));
  return json::Value{std::move(object)};
}

json::Value polyline_value(const ir::Polyline &polyline) {
  json::Array points;
  points.reserve(polyline.points.size());
  for (const ir::Point &point : polyline.points)
    points.push_back(point_value(point));
  json::Object object;
  object.set("points", json::Value{std::move(points)});
  return json::Value{std::move(object)};
}

json::Value kind_value(const ir::lo::SegmentKind &kind) {
  if (const auto *extrude = std::get_if<ir::lo::Extrude>(&kind)) {
    json::Object object;
    object.set("Extrude", json::Value{std::string(ir::region_kind_name(extrude->role))});
    return json::Value{std::move(object)};
  }
  return json::Value{std::string("Travel")};
}

json::Value toolpath_value(const ir::lo::Toolpath &toolpath) {
  json::Object object;
  if (toolpath.flow_e)
    object.set("flow_e", json::Value{*toolpath.flow_e});
  object.set("kind", kind_value(toolpath.kind));
  object.set("path", polyline_value(toolpath.path));
  object.set("width_um", integer(toolpath.width_um));
  return json::Value{std::move(object)};
}

json::Value layer_value(const ir::lo::Layer &layer) {
  json::Array toolpaths;
  toolpaths.reserve(layer.toolpaths.size());
  for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
    toolpaths.push_back(toolpath_value(toolpath));
  json::Object object;
  object.set("toolpaths", json::Value{std::move(toolpaths)});
  object.set("z_um", integer(layer.z_um));
  return json::Value{std::move(object)};
}

json::Value program_value(const ir::lo::Program &program) {
  json::Array layers;
  layers.reserve(program.layers.size());
  for (const ir::lo::Layer &layer : program.layers)
    layers.push_back(layer_value(layer));
  json::Object object;
  object.set("layers", json::Value{std::move(layers)});
  return json::Value{std::move(object)};
}

struct Envelope {
  uint64_t schema_version = 0;
  std::string kind;
  json::Value program;
};

constexpr std::array<std::string_view, 3> kEnvelopeFields = {"schema_version", "kind", "program"};
constexpr json::RecordShape kEnvelopeShape{"struct Envelope", kEnvelopeFields, 3};

bool read_envelope(json::Reader &reader, std::string_view text, Envelope &out) {
  return json::read_record(reader, kEnvelopeShape, [&](size_t field) {
    switch (field) {
    case 0:
      return reader.read_unsigned(out.schema_version, UINT32_MAX, "u32");
    case 1: {
      std::string_view kind;
      if (!reader.read_string(kind))
        return false;
      out.kind = std::string(kind);
      return true;
    }
    default:
      return json::read_value(reader, text, out.program);
    }
  });
}

} // namespace

std::string export_lo(const ir::lo::Program &program) {
  json::Value payload = program_value(program);
  json::Writer writer;
  writer.begin_object();
  writer.member("schema_version", uint64_t{kSchemaVersion});
  writer.member("kind", kLoProgramKind);
  writer.key("program");
  json::write_value(writer, payload);
  writer.end_object();
  return writer.take();
}

std::expected<ir::lo::Program, SchemaError> import_lo(std::string_view text) {
  Envelope envelope;
  json::Reader reader(text);
  if (!read_envelope(reader, text, envelope) || !reader.finish())
    return std::unexpected(Malformed{reader.error().message});
  if (envelope.schema_version != kSchemaVersion)
    return std::unexpected(
        UnsupportedVersion{static_cast<uint32_t>(envelope.schema_version), kSchemaVersion});
  if (envelope.kind != kLoProgramKind)
    return std::unexpected(KindMismatch{envelope.kind, std::string(kLoProgramKind)});

  // The payload is already parsed: it is written out again and read as a program without
  // positions, which would only point into that second text.
  json::Writer writer;
  json::write_value(writer, envelope.program);
  std::string payload = writer.take();
  json::Reader payload_reader(payload, /*report_positions=*/false);
  ir::lo::Program program;
  if (!ir::read_lo_program(payload_reader, program) || !payload_reader.finish())
    return std::unexpected(Malformed{payload_reader.error().message});
  return program;
}

} // namespace tolm::schema
