#include "kinematics/machine_profile.h"

#include <array>

#include "json/writer.h"

namespace tolm::kinematics {
namespace {

constexpr std::array<std::string_view, 8> kFields = {
    "max_print_speed_mm_s", "max_travel_speed_mm_s",
    "acceleration_mm_s2",   "junction_deviation_mm",
    "min_layer_time_s",     "bed_min_um",
    "bed_max_um",           "max_z_um",
};

constexpr json::RecordShape kShape{"MachineProfile", kFields, kFields.size()};

// A corner: exactly two integers in an array.
bool read_pair(json::Reader &reader, PairUm &out) {
  size_t start = reader.offset();
  if (!reader.begin_array("an array of two integers"))
    return false;
  int64_t values[2] = {0, 0};
  size_t count = 0;
  while (reader.next_element()) {
    if (count < 2) {
      if (!reader.read_i64(values[count]))
        return false;
    } else if (!reader.skip_value()) {
      return false;
    }
    ++count;
  }
  if (reader.failed())
    return false;
  if (count != 2)
    return reader.fail_at(start, "invalid length " + std::to_string(count) +
                                     ", expected an array of two integers");
  out = PairUm{values[0], values[1]};
  return true;
}

} // namespace

bool read_machine_profile(json::Reader &reader, MachineProfile &out) {
  MachineProfile profile;
  bool ok = json::read_record(reader, kShape, [&](size_t field) {
    switch (field) {
    case 0:
      return reader.read_double(profile.max_print_speed_mm_s);
    case 1:
      return reader.read_double(profile.max_travel_speed_mm_s);
    case 2:
      return reader.read_double(profile.acceleration_mm_s2);
    case 3:
      return reader.read_double(profile.junction_deviation_mm);
    case 4:
      return reader.read_double(profile.min_layer_time_s);
    case 5:
      return read_pair(reader, profile.bed_min_um);
    case 6:
      return read_pair(reader, profile.bed_max_um);
    default:
      return reader.read_i64(profile.max_z_um);
    }
  });
  if (!ok)
    return false;
  out = profile;
  return true;
}

std::expected<MachineProfile, json::ReadError> read_machine_profile(std::string_view text) {
  json::Reader reader(text);
  MachineProfile profile;
  if (!read_machine_profile(reader, profile) || !reader.finish())
    return std::unexpected(reader.error());
  return profile;
}

void write_machine_profile(json::Writer &writer, const MachineProfile &profile) {
  auto write_pair = [&](std::string_view name, const PairUm &pair) {
    writer.key(name);
    writer.begin_array();
    writer.value(pair.x);
    writer.value(pair.y);
    writer.end_array();
  };
  writer.begin_object();
  writer.member("max_print_speed_mm_s", profile.max_print_speed_mm_s);
  writer.member("max_travel_speed_mm_s", profile.max_travel_speed_mm_s);
  writer.member("acceleration_mm_s2", profile.acceleration_mm_s2);
  writer.member("junction_deviation_mm", profile.junction_deviation_mm);
  writer.member("min_layer_time_s", profile.min_layer_time_s);
  write_pair("bed_min_um", profile.bed_min_um);
  write_pair("bed_max_um", profile.bed_max_um);
  writer.member("max_z_um", profile.max_z_um);
  writer.end_object();
}

std::string machine_profile_json(const MachineProfile &profile) {
  json::Writer writer;
  write_machine_profile(writer, profile);
  return writer.take();
}

} // namespace tolm::kinematics
