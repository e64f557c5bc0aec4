// The section of the runtime's settings that holds every key of this driver.
#pragma once

namespace halvex {

inline constexpr char kDriverSettingsSection[] = "driver_halvex";

}  // namespace halvex
