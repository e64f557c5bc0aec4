// The length of a device's input reports, worked out from its HID report
// descriptor where the system offers no parsed form (Linux hidraw).
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvex::platform {

// Bytes of the longest input report the descriptor declares, plus the id byte
// when the device numbers its reports; 0 when it declares none.
size_t LongestInputReportLength(const uint8_t* descriptor, size_t size);

}  // namespace halvex::platform
