#include "ir/json_io.h"

#include <array>

namespace tolm::ir {

namespace {

using json::Reader;
using json::RecordShape;
using json::Writer;

constexpr std::array<std::string_view, 2> kPointFields{"x", "y"};
constexpr std::array<std::string_view, 1> kPolylineFields{"points"};
constexpr std::array<std::string_view, 2> kAreaFields{"outer", "holes"};
constexpr std::array<std::string_view, 2> kExtrudePathFields{"path", "width_um"};
constexpr std::array<std::string_view, 3> kRegionFields{"kind", "boundary", "fills"};
constexpr std::array<std::string_view, 2> kHiLayerFields{"z_um", "regions"};
constexpr std::array<std::string_view, 1> kProgramFields{"layers"};
constexpr std::array<std::string_view, 4> kToolpathFields{"kind", "path", "width_um", "flow_e"};
constexpr std::array<std::string_view, 2> kLoLayerFields{"z_um", "toolpaths"};
constexpr std::array<std::string_view, 4> kRegionKindNames{"Perimeter", "Infill", "Skin",
                                                           "Support"};
constexpr std::array<std::string_view, 2> kSegmentKindNames{"Extrude", "Travel"};

constexpr RecordShape kPointShape{"struct Point", kPointFields, 2};
constexpr RecordShape kPolylineShape{"struct Polyline", kPolylineFields, 1};
constexpr RecordShape kAreaShape{"struct Area", kAreaFields, 2};
constexpr RecordShape kExtrudePathShape{"struct ExtrudePath", kExtrudePathFields, 2};
constexpr RecordShape kRegionShape{"struct Region", kRegionFields, 3};
constexpr RecordShape kHiLayerShape{"struct Layer", kHiLayerFields, 2};
constexpr RecordShape kProgramShape{"struct Program", kProgramFields, 1};
constexpr RecordShape kToolpathShape{"struct Toolpath", kToolpathFields, 3, uint64_t{1} << 3};
constexpr RecordShape kLoLayerShape{"struct Layer", kLoLayerFields, 2};

template <class T, class ReadOne>
bool read_list(Reader &reader, std::vector<T> &out, ReadOne &&read_one) {
  if (!reader.begin_array())
    return false;
  while (reader.next_element()) {
    out.emplace_back();
    if (!read_one(reader, out.back()))
      return false;
  }
  return !reader.failed();
}

bool read_extrude_path(Reader &reader, ExtrudePath &out) {
  return json::read_record(reader, kExtrudePathShape, [&](size_t field) {
    return field == 0 ? read_polyline(reader, out.path) : reader.read_i64(out.width_um);
  });
}

bool read_area(Reader &reader, Area &out) {
  return json::read_record(reader, kAreaShape, [&](size_t field) {
    if (field == 0)
      return read_polyline(reader, out.outer);
    out.holes.clear();
    return read_list(reader, out.holes, read_polyline);
  });
}

bool read_region(Reader &reader, hi::Region &out) {
  return json::read_record(reader, kRegionShape, [&](size_t field) {
    switch (field) {
    case 0:
      return read_region_kind(reader, out.kind);
    case 1:
      return read_area(reader, out.boundary);
    default:
      out.fills.clear();
      return read_list(reader, out.fills, read_extrude_path);
    }
  });
}

bool read_hi_layer(Reader &reader, hi::Layer &out) {
  return json::read_record(reader, kHiLayerShape, [&](size_t field) {
    if (field == 0)
      return reader.read_i64(out.z_um);
    out.regions.clear();
    return read_list(reader, out.regions, read_region);
  });
}

bool read_segment_kind(Reader &reader, lo::SegmentKind &out) {
  json::VariantTag tag;
  if (!json::begin_variant(reader, kSegmentKindNames, "enum SegmentKind", tag))
    return false;
  if (tag.index == 0) {
    if (!tag.object_form)
      return reader.fail("invalid type: unit variant, expected newtype variant");
    lo::Extrude extrude;
    if (!read_region_kind(reader, extrude.role))
      return false;
    out = extrude;
  } else {
    if (tag.object_form && !reader.read_null())
      return false;
    out = lo::Travel{};
  }
  return json::end_variant(reader, tag);
}

bool read_toolpath(Reader &reader, lo::Toolpath &out) {
  return json::read_record(reader, kToolpathShape, [&](size_t field) {
    switch (field) {
    case 0:
      return read_segment_kind(reader, out.kind);
    case 1:
      return read_polyline(reader, out.path);
    case 2:
      return reader.read_i64(out.width_um);
    default:
      if (reader.peek() == json::Token::Null) {
        out.flow_e.reset();
        return reader.read_null();
      }
      double flow;
      if (!reader.read_double(flow))
        return false;
      out.flow_e = flow;
      return true;
    }
  });
}

bool read_lo_layer(Reader &reader, lo::Layer &out) {
  return json::read_record(reader, kLoLayerShape, [&](size_t field) {
    if (field == 0)
      return reader.read_i64(out.z_um);
    out.toolpaths.clear();
    return read_list(reader, out.toolpaths, read_toolpath);
  });
}

template <class Program, class ReadProgram>
std::expected<Program, json::ReadError> read_whole(std::string_view text, ReadProgram &&read) {
  Reader reader(text);
  Program program;
  if (!read(reader, program) || !reader.finish())
    return std::unexpected(reader.error());
  return program;
}

void write_toolpath(Writer &writer, const lo::Toolpath &toolpath) {
  writer.begin_object();
  writer.key("kind");
  if (const auto *extrude = std::get_if<lo::Extrude>(&toolpath.kind)) {
    writer.begin_object();
    writer.member("Extrude", region_kind_name(extrude->role));
    writer.end_object();
  } else {
    writer.value("Travel");
  }
  writer.key("path");
  write_polyline(writer, toolpath.path);
  writer.member("width_um", toolpath.width_um);
  if (toolpath.flow_e)
    writer.member("flow_e", *toolpath.flow_e);
  writer.end_object();
}

size_t point_count(const lo::Program &program) {
  size_t points = 0;
  for (const auto &layer : program.layers)
    for (const auto &toolpath : layer.toolpaths)
      points += toolpath.path.points.size();
  return points;
}

} // namespace

bool read_point(Reader &reader, Point &out) {
  return json::read_record(reader, kPointShape, [&](size_t field) {
    return reader.read_i64(field == 0 ? out.x : out.y);
  });
}

bool read_polyline(Reader &reader, Polyline &out) {
  return json::read_record(reader, kPolylineShape, [&](size_t) {
    out.points.clear();
    return read_list(reader, out.points, read_point);
  });
}

bool read_region_kind(Reader &reader, RegionKind &out) {
  json::VariantTag tag;
  if (!json::begin_variant(reader, kRegionKindNames, "enum RegionKind", tag))
    return false;
  if (tag.object_form && !reader.read_null())
    return false;
  out = static_cast<RegionKind>(tag.index);
  return json::end_variant(reader, tag);
}

bool read_lo_program(Reader &reader, lo::Program &out) {
  return json::read_record(reader, kProgramShape, [&](size_t) {
    out.layers.clear();
    return read_list(reader, out.layers, read_lo_layer);
  });
}

bool read_hi_program(Reader &reader, hi::Program &out) {
  return json::read_record(reader, kProgramShape, [&](size_t) {
    out.layers.clear();
    return read_list(reader, out.layers, read_hi_layer);
  });
}

std::expected<lo::Program, json::ReadError> read_lo_program(std::string_view text) {
  return read_whole<lo::Program>(
      text, [](Reader &reader, lo::Program &program) { return read_lo_program(reader, program); });
}

std::expected<hi::Program, json::ReadError> read_hi_program(std::string_view text) {
  return read_whole<hi::Program>(
      text, [](Reader &reader, hi::Program &program) { return read_hi_program(reader, program); });
}

void write_point(Writer &writer, const Point &point) {
  writer.begin_object();
  writer.member("x", point.x);
  writer.member("y", point.y);
  writer.end_object();
}

void write_polyline(Writer &writer, const Polyline &polyline) {
  writer.begin_object();
  writer.key("points");
  writer.begin_array();
  for (const Point &point : polyline.points)
    write_point(writer, point);
  writer.end_array();
  writer.end_object();
}

void write_lo_program(Writer &writer, const lo::Program &program) {
  writer.begin_object();
  writer.key("layers");
  writer.begin_array();
  for (const auto &layer : program.layers) {
    writer.begin_object();
    writer.member("z_um", layer.z_um);
    writer.key("toolpaths");
    writer.begin_array();
    for (const auto &toolpath : layer.toolpaths)
      write_toolpath(writer, toolpath);
    writer.end_array();
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

void write_hi_program(Writer &writer, const hi::Program &program) {
  writer.begin_object();
  writer.key("layers");
  writer.begin_array();
  for (const auto &layer : program.layers) {
    writer.begin_object();
    writer.member("z_um", layer.z_um);
    writer.key("regions");
    writer.begin_array();
    for (const auto &region : layer.regions) {
      writer.begin_object();
      writer.member("kind", region_kind_name(region.kind));
      writer.key("boundary");
      writer.begin_object();
      writer.key("outer");
      write_polyline(writer, region.boundary.outer);
      writer.key("holes");
      writer.begin_array();
      for (const auto &hole : region.boundary.holes)
        write_polyline(writer, hole);
      writer.end_array();
      writer.end_object();
      writer.key("fills");
      writer.begin_array();
      for (const auto &fill : region.fills) {
        writer.begin_object();
        writer.key("path");
        write_polyline(writer, fill.path);
        writer.member("width_um", fill.width_um);
        writer.end_object();
      }
      writer.end_array();
      writer.end_object();
    }
    writer.end_array();
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

std::string to_json(const lo::Program &program) {
  // A point is written in about 60 bytes of indented text.
  Writer writer(64 + point_count(program) * 64);
  write_lo_program(writer, program);
  return writer.take();
}

std::string to_json(const hi::Program &program) {
  Writer writer;
  write_hi_program(writer, program);
  return writer.take();
}

} // namespace tolm::ir
