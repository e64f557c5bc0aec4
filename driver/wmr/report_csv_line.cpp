#include "wmr/report_csv_line.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace halvex::wmr {

namespace {

// Copies one field group out of the report (packed members cannot be bound to references).
template <typename Element, size_t Count, typename Emit>
void Group(const char* name, const sWmrInputReport_Sensors& r, size_t offset, Emit& emit) {
    Element values[Count];
    std::memcpy(values, reinterpret_cast<const uint8_t*>(&r) + offset, sizeof(values));
    emit(name, values, Count);
}

#define HALVEX_REPORT_GROUP(field)                                                          \
    Group<std::remove_extent_t<decltype(sWmrInputReport_Sensors::field)>,                   \
          std::extent_v<decltype(sWmrInputReport_Sensors::field)>>(#field, r,               \
                                                                   offsetof(sWmrInputReport_Sensors, field), emit)

// Each field group in report order, with its name and elements.
template <typename Emit>
void ForEachGroup(const sWmrInputReport_Sensors& r, Emit&& emit) {
    HALVEX_REPORT_GROUP(temperature);
    HALVEX_REPORT_GROUP(timestampGyro);
    HALVEX_REPORT_GROUP(gyroX);
    HALVEX_REPORT_GROUP(gyroY);
    HALVEX_REPORT_GROUP(gyroZ);
    HALVEX_REPORT_GROUP(timestampAcc);
    HALVEX_REPORT_GROUP(accX);
    HALVEX_REPORT_GROUP(accY);
    HALVEX_REPORT_GROUP(accZ);
    HALVEX_REPORT_GROUP(timestampMag);
    HALVEX_REPORT_GROUP(magX);
    HALVEX_REPORT_GROUP(magY);
    HALVEX_REPORT_GROUP(magZ);
    HALVEX_REPORT_GROUP(sensorStateA);
    HALVEX_REPORT_GROUP(sensorStateB);
}

#undef HALVEX_REPORT_GROUP

// The state words follow with "," alone, every other group with ", ".
const char* GroupSeparator(const char* name) { return std::strncmp(name, "sensorState", 11) == 0 ? "," : ", "; }

}  // namespace

std::string SensorReportCsvHeader() {
    std::string line = "dataName,id";
    const sWmrInputReport_Sensors any{};
    ForEachGroup(any, [&](const char* name, const auto*, size_t count) {
        line += GroupSeparator(name);
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) line += ", ";
            line += name;
            line += '_';
            line += std::to_string(i);
        }
    });
    return line;
}

std::string SensorReportCsvLine(const char* name, const sWmrInputReport_Sensors& report) {
    std::string line = name;
    line += ',';
    line += std::to_string(report.id);
    ForEachGroup(report, [&](const char* groupName, const auto* values, size_t count) {
        line += GroupSeparator(groupName);
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) line += ", ";
            line += std::to_string(values[i]);
        }
    });
    return line;
}

}  // namespace halvex::wmr
