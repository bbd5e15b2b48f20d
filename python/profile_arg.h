// Reading a machine-profile argument: absent or None gives the default profile; a text that
// does not read sets ValueError "invalid MachineProfile JSON; " followed by the reader's error.
#pragma once

#include <optional>
#include <string_view>

#include "binding/errors.h"
#include "kinematics/machine_profile.h"

namespace tolm::py {

inline constexpr std::string_view kProfilePrefix = "invalid MachineProfile JSON; ";

inline std::optional<kinematics::MachineProfile>
machine_profile_or_default(std::optional<std::string_view> text) {
  if (!text)
    return kinematics::default_profile();
  auto profile = kinematics::read_machine_profile(*text);
  if (!profile) {
    raise_read_error(kProfilePrefix, profile.error());
    return std::nullopt;
  }
  return *profile;
}

/// The handle's profile reader; the same contract as `machine_profile_or_default`.
inline std::optional<kinematics::MachineProfile>
parse_profile(std::optional<std::string_view> text) {
  return machine_profile_or_default(text);
}

} // namespace tolm::py
