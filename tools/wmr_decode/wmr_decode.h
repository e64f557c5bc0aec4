// Decodes a stream of HID reports as the driver does and prints every IMU sample:
// the report decoding's outside view for tests and diagnosis.
//
// Input, one report per line: "arrival,HEX" (arrival: driver seconds at which the
// report was read; HEX: its bytes). Blank lines and lines starting with '#' are
// skipped. Output, per sample of each sensor report:
// "report,sample,rawTime,time,ax,ay,az,gx,gy,gz", numbers with %.17g.
#pragma once

#include <iosfwd>

namespace halvex::wmr {

// Returns the process exit status: 0, or 2 after a malformed line (reported on errors).
int RunWmrDecode(std::istream& reports, std::ostream& output, std::ostream& errors);

}  // namespace halvex::wmr
