// The machine profile: the few limits that describe a printer, with its JSON form.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "json/reader.h"

namespace tolm::json {
class Writer;
}

namespace tolm::kinematics {

/// A pair of integer-micron coordinates (x, y).
struct PairUm {
  int64_t x = 0;
  int64_t y = 0;
  friend bool operator==(const PairUm &, const PairUm &) = default;
};

/// Printer limits; the member initialisers are the default desktop printer (a 200 mm cube).
struct MachineProfile {
  /// Cruise speed of extrusion toolpaths.
  double max_print_speed_mm_s = 60.0;
  /// Cruise speed of travel toolpaths.
  double max_travel_speed_mm_s = 150.0;
  /// Acceleration and deceleration, the same in every direction.
  double acceleration_mm_s2 = 1500.0;
  /// Cornering tolerance of the junction-deviation rule.
  double junction_deviation_mm = 0.05;
  /// Shortest acceptable layer time; 0 disables the check.
  double min_layer_time_s = 0.0;
  /// Lower corner of the printable area.
  PairUm bed_min_um{0, 0};
  /// Upper corner of the printable area.
  PairUm bed_max_um{200000, 200000};
  /// Highest printable layer Z.
  int64_t max_z_um = 200000;
  friend bool operator==(const MachineProfile &, const MachineProfile &) = default;
};

/// The default desktop printer.
inline MachineProfile default_profile() { return MachineProfile{}; }

/// Reads a profile: an object with all eight members (any order, unknown members skipped) or an
/// array of the eight values in field order; the corners are arrays of exactly two integers.
bool read_machine_profile(json::Reader &reader, MachineProfile &out);
/// Reads a whole text as a profile.
std::expected<MachineProfile, json::ReadError> read_machine_profile(std::string_view text);

void write_machine_profile(json::Writer &writer, const MachineProfile &profile);
/// The profile as pretty-printed JSON text.
std::string machine_profile_json(const MachineProfile &profile);

} // namespace tolm::kinematics
