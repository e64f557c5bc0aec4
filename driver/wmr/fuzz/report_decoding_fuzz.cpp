// Fuzz entry point of the HID report handling: the input is cut into reports of
// any length, each dumped, read as a sensor report where it is one, decoded with
// the clock carried from report to report, and written as a CSV line; the input
// as a whole is also read as a report descriptor. Besides not crashing or reading
// past a report's end, every decoded value must be finite and within what the
// report's integer fields can express, and every CSV line must have all its fields.
#include "platform/hid_report_descriptor.h"
#include "wmr/headset_clock.h"
#include "wmr/report_csv_line.h"
#include "wmr/report_dump.h"
#include "wmr/sensor_decoding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace halvex::wmr;

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    halvex::platform::LongestInputReportLength(data, size);
    cHeadsetClock clock;
    size_t position = 0;
    for (int index = 0; position < size; ++index) {
        // Each report: a length byte (in units of two bytes), then that many bytes or what is left.
        const size_t wanted = 2u * data[position];
        ++position;
        const size_t length = std::min(wanted, size - position);
        // An exactly sized copy, so that a read past the report's end is caught.
        const std::vector<uint8_t> report(data + position, data + position + length);
        position += length;
        DumpSensorReport(report.data(), report.size(), [](const char* line) { Require(line != nullptr); });
        sWmrInputReport_Sensors sensors;
        if (!ReadSensorReport(report.data(), report.size(), sensors)) continue;
        sWmrImuSample samples[kSamplesPerReport];
        DecodeSensorReport(sensors, 1000.0 + 0.004 * index, clock, samples);
        for (const sWmrImuSample& s : samples) {
            Require(std::isfinite(s.time) && std::isfinite(s.rawTime) && s.rawTime >= 0.0);
            for (int axis = 0; axis < 3; ++axis) {
                Require(std::fabs(s.linearAcceleration[axis]) <= 2147483.648);
                Require(std::fabs(s.angularVelocity[axis]) <= 32.768);
            }
        }
        const std::string line = SensorReportCsvLine("SensorReport", sensors);
        Require(std::count(line.begin(), line.end(), ',') == 140);
    }
    return 0;
}
