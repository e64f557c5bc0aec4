#include "wmr/report_dump.h"

#include "wmr/sensor_report.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace halvex::wmr {

namespace {

// printf into a std::string; every dump line is short.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof(text), format, args...);
    return text;
}

void HexListing(const uint8_t* bytes, size_t length, const std::function<void(const char*)>& line) {
    std::string text;
    bool nonZero = false;
    for (size_t i = 0; i < length; ++i) {
        const size_t column = i % 16;
        text += Format(" 0x%2.2x", bytes[i]);
        nonZero = nonZero || bytes[i] != 0;
        if (column == 3 || column == 7 || column == 11) text += "    ";
        if (column == 15) {
            if (nonZero) text += "  <--<<";
            line(Format("\t%s", text.c_str()).c_str());
            text.clear();
            nonZero = false;
        }
    }
    if (!text.empty()) line(Format("\t%s", text.c_str()).c_str());
}

}  // namespace

void DumpSensorReport(const uint8_t* bytes, size_t length, const std::function<void(const char*)>& line) {
    line(Format("Report size=%d", static_cast<int>(length)).c_str());
    if (length == 0) return;
    if (length < kSensorReportSize) {
        line(Format("\t id = %d", bytes[0]).c_str());
        line(Format("\t report size = %d < %d sizeof(sWmrInputReport_Sensors)", static_cast<int>(length),
                    static_cast<int>(kSensorReportSize))
                 .c_str());
        line("\t not large enough to be sWmrInputReport_Sensors");
        return;
    }
    line(Format("Raw Data size=%d", static_cast<int>(length)).c_str());
    HexListing(bytes, length, line);

    sWmrInputReport_Sensors r;
    std::memcpy(&r, bytes, sizeof(r));
    line(Format("\tid = %d", r.id).c_str());
    line(Format("\ttemperature = %d %d %d %d", r.temperature[0], r.temperature[1], r.temperature[2], r.temperature[3])
             .c_str());
    line("\tIMU Gyro");
    for (int j = 0; j < kSamplesPerReport; ++j) {
        line(Format("Sample %d to %d timestamp = %lf", 8 * j, 8 * j + 8, r.timestampGyro[j] * 0.001).c_str());
        std::string readings = "    ";
        for (int k = 8 * j; k < 8 * j + 8; ++k)
            readings += Format("%8.1lf %8.1lf %8.1lf xxxx ", r.gyroX[k] * 0.001, r.gyroY[k] * -0.001, r.gyroZ[k] * -0.001);
        line(readings.c_str());
    }
    line("\tIMU Acc");
    for (int i = 0; i < kSamplesPerReport; ++i) {
        line(Format("Sample %d to %d timestamp = %lf", i, i + 1, r.timestampAcc[i] * 0.001).c_str());
        const double x = r.accX[i] * 0.001, y = r.accY[i] * -0.001, z = r.accZ[i] * -0.001;
        line(("    " + Format("%8.1lf %8.1lf %8.1lf - %8.1lf xxxx ", x, y, z, std::sqrt(x * x + y * y + z * z))).c_str());
    }
    line("\tMagnetometer");
    for (int i = 0; i < kSamplesPerReport; ++i) {
        line(Format("Sample %d to %d timestamp = %lld", i, i + 1, static_cast<long long>(r.timestampMag[i])).c_str());
        line(("    " + Format("%4.1ld %4.1ld %4.1ld xxxx ", static_cast<long>(r.magX[i]), static_cast<long>(r.magY[i]),
                              static_cast<long>(r.magZ[i])))
                 .c_str());
    }
    line(Format("sensorStateA[0] = %x", r.sensorStateA[0]).c_str());
    line(Format("sensorStateA[1] = %x", r.sensorStateA[1]).c_str());
    line(Format("sensorStateB[0] = %x", r.sensorStateB[0]).c_str());
}

}  // namespace halvex::wmr
