#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "kinematics/print_time.h"
#include "printability/printability.h"
#include "profile_arg.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *print_time(Call &call) {
  std::string_view program_json;
  std::optional<std::string_view> profile_json;
  if (!call.str(0, program_json) || !call.optional_str(1, profile_json))
    return nullptr;
  auto profile = machine_profile_or_default(profile_json);
  if (!profile)
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  kinematics::write_print_time(writer, kinematics::print_time(*program, *profile));
  return to_str(writer.text());
}

PyObject *is_printable(Call &call) {
  std::string_view program_json;
  std::optional<std::string_view> profile_json;
  int64_t resolution_um;
  // The resolution is converted before the profile.
  if (!call.str(0, program_json) || !call.i64(2, resolution_um, 200) ||
      !call.optional_str(1, profile_json))
    return nullptr;
  auto profile = machine_profile_or_default(profile_json);
  if (!profile)
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  json::Writer writer;
  printability::write_printability(writer,
                                   printability::is_printable(*program, *profile, resolution_um));
  return to_str(writer.text());
}

PyObject *default_machine_profile(Call &) {
  return to_str(kinematics::machine_profile_json(kinematics::default_profile()));
}

} // namespace

TOLM_FUNCTION(print_time, "print_time(program_json, profile_json=None)",
              "Kinematics-aware print-time report (JSON) for a program (JSON) under a machine "
              "profile (JSON, or\n"
              "`None` for a default desktop printer).");
TOLM_FUNCTION(is_printable, "is_printable(program_json, profile_json=None, resolution_um=200)",
              "Printability verdict (JSON) for a program (JSON) against a machine profile (JSON "
              "or `None`).");
TOLM_FUNCTION(default_machine_profile, "default_machine_profile()",
              "The default machine profile as JSON — a template to edit.");

} // namespace tolm::py
