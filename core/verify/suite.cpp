#include "verify/suite.h"

#include <algorithm>

#include "backend/emit_settings.h"
#include "backend/gcode.h"
#include "denote/deposit.h"
#include "denote/occupancy.h"
#include "frontend/gcode/parser.h"
#include "pass/pass.h"
#include "verify/checks.h"
#include "json/writer.h"

namespace tolm::verify {

GcodeVerification verify_gcode(std::string_view gcode_text, int64_t resolution_um) {
  frontend::gcode::ParseReport parsed = frontend::gcode::parse(gcode_text);
  const ir::lo::Program &program = parsed.program;

  const ir::lo::Program reordered = pass::run(pass::Pass{pass::TravelOrder{{0, 0}, true}}, program);

  GcodeVerification report;
  report.resolution_um = resolution_um;
  report.has_geometry = parsed.diagnostics.extruding_toolpaths != 0;
  report.pass_preserves_denotation =
      denote::denote_lo(program, resolution_um) == denote::denote_lo(reordered, resolution_um);
  report.pass_preserves_deposit = denote::denote_lo_deposit(program, resolution_um) ==
                                  denote::denote_lo_deposit(reordered, resolution_um);
  report.translation_invariant = translation_invariant(program, 3, 5, resolution_um);
  report.diagnostics = std::move(parsed.diagnostics);
  return report;
}

RoundTrip verify_roundtrip(const ir::lo::Program &program, int64_t resolution_um) {
  RoundTrip report;
  report.resolution_um = resolution_um;
  report.has_geometry = std::ranges::any_of(program.layers, [](const ir::lo::Layer &layer) {
    return std::ranges::any_of(layer.toolpaths, ir::lo::is_extrude);
  });
  const std::string text = backend::to_gcode_with(program, backend::EmitSettings::standard());
  const ir::lo::Program reparsed = frontend::gcode::parse(text).program;
  report.occupancy_preserved =
      denote::denote_lo(program, resolution_um) == denote::denote_lo(reparsed, resolution_um);
  report.deposit_preserved = denote::denote_lo_deposit(program, resolution_um) ==
                             denote::denote_lo_deposit(reparsed, resolution_um);
  return report;
}

void write_gcode_verification(json::Writer &writer, const GcodeVerification &report) {
  writer.begin_object();
  writer.key("diagnostics");
  frontend::gcode::write_diagnostics(writer, report.diagnostics);
  writer.member("resolution_um", report.resolution_um);
  writer.member("has_geometry", report.has_geometry);
  writer.member("pass_preserves_denotation", report.pass_preserves_denotation);
  writer.member("pass_preserves_deposit", report.pass_preserves_deposit);
  writer.member("translation_invariant", report.translation_invariant);
  writer.end_object();
}

void write_round_trip(json::Writer &writer, const RoundTrip &report) {
  writer.begin_object();
  writer.member("resolution_um", report.resolution_um);
  writer.member("has_geometry", report.has_geometry);
  writer.member("occupancy_preserved", report.occupancy_preserved);
  writer.member("deposit_preserved", report.deposit_preserved);
  writer.end_object();
}

} // namespace tolm::verify
