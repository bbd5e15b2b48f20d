// Bodies shared by the module functions that read one low-level program and return one report
// as JSON text.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/readers.h"
#include "json/writer.h"

namespace tolm::py {

/// `name(program_json)`: reads the program, then `write(writer, program)`.
template <class Write> PyObject *program_report(Call &call, Write &&write) {
  std::string_view program_json;
  if (!call.str(0, program_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  write(writer, *program);
  return to_str(writer.text());
}

/// `name(program_json, resolution_um=200)`: reads both, then
/// `write(writer, program, resolution_um)`.
template <class Write> PyObject *program_report_at_resolution(Call &call, Write &&write) {
  std::string_view program_json;
  int64_t resolution_um;
  if (!call.str(0, program_json) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  write(writer, *program, resolution_um);
  return to_str(writer.text());
}

} // namespace tolm::py
