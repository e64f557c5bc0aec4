// The lines of the raw IMU report file: a header naming every field element, then
// one line per sensor report with every element in decimal.
#pragma once

#include "wmr/sensor_report.h"

#include <string>

namespace halvex::wmr {

std::string SensorReportCsvHeader();
std::string SensorReportCsvLine(const char* name, const sWmrInputReport_Sensors& report);

}  // namespace halvex::wmr
