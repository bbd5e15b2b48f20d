// The JSON form of the program records: written in field order, read with the object or array
// forms, members in any order, unknown members skipped.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "ir/hi.h"
#include "ir/lo.h"
#include "json/reader.h"
#include "json/writer.h"

namespace tolm::ir {

std::expected<lo::Program, json::ReadError> read_lo_program(std::string_view text);
std::expected<hi::Program, json::ReadError> read_hi_program(std::string_view text);

/// Building blocks for readers of records that contain program parts.
bool read_point(json::Reader &reader, Point &out);
bool read_polyline(json::Reader &reader, Polyline &out);
bool read_region_kind(json::Reader &reader, RegionKind &out);
bool read_lo_program(json::Reader &reader, lo::Program &out);
bool read_hi_program(json::Reader &reader, hi::Program &out);

void write_point(json::Writer &writer, const Point &point);
void write_polyline(json::Writer &writer, const Polyline &polyline);
void write_lo_program(json::Writer &writer, const lo::Program &program);
void write_hi_program(json::Writer &writer, const hi::Program &program);

/// The program as pretty-printed JSON text.
std::string to_json(const lo::Program &program);
std::string to_json(const hi::Program &program);

} // namespace tolm::ir
