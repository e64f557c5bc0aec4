// A report in readable form for the driver log: size, hex listing with a marker on
// non-zero lines, then the sensor fields. One call of `line` per log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace halvex::wmr {

void DumpSensorReport(const uint8_t* bytes, size_t length, const std::function<void(const char*)>& line);

}  // namespace halvex::wmr
