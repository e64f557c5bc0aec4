#include "wmr_decode.h"

#include "wmr/headset_clock.h"
#include "wmr/sensor_decoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace halvex::wmr {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False with a reason for a malformed line.
bool ParseReportLine(const std::string& line, double& arrival, std::vector<uint8_t>& bytes, std::string& reason) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) {
        reason = "expected 'arrival,HEX'";
        return false;
    }
    const std::string arrivalText = Trimmed(line.substr(0, comma));
    char* end = nullptr;
    arrival = std::strtod(arrivalText.c_str(), &end);
    if (arrivalText.empty() || *end != '\0' || !std::isfinite(arrival)) {
        reason = "arrival '" + arrivalText + "' is not a finite number";
        return false;
    }
    const std::string hex = Trimmed(line.substr(comma + 1));
    if (hex.size() % 2 != 0) {
        reason = "odd number of hexadecimal digits";
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            reason = "not a hexadecimal digit at column " + std::to_string(comma + 2 + i);
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

void AppendNumber(std::string& line, double value) {
    char text[40];
    std::snprintf(text, sizeof text, ",%.17g", value);
    line += text;
}

}  // namespace

int RunWmrDecode(std::istream& reports, std::ostream& output, std::ostream& errors) {
    cHeadsetClock clock;
    std::string line;
    std::vector<uint8_t> bytes;
    long lineNumber = 0;
    long reportNumber = 0;
    while (std::getline(reports, line)) {
        ++lineNumber;
        const std::string content = Trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        double arrival = 0.0;
        std::string reason;
        if (!ParseReportLine(content, arrival, bytes, reason)) {
            output.flush();
            errors << "wmr_decode: line " << lineNumber << ": " << reason << "\n";
            return 2;
        }
        const long report = reportNumber++;
        sWmrInputReport_Sensors sensors;
        if (!ReadSensorReport(bytes.data(), bytes.size(), sensors)) continue;
        sWmrImuSample samples[kSamplesPerReport];
        DecodeSensorReport(sensors, arrival, clock, samples);
        for (int i = 0; i < kSamplesPerReport; ++i) {
            const sWmrImuSample& s = samples[i];
            std::string text = std::to_string(report) + "," + std::to_string(i);
            AppendNumber(text, s.rawTime);
            AppendNumber(text, s.time);
            for (double a : s.linearAcceleration) AppendNumber(text, a);
            for (double g : s.angularVelocity) AppendNumber(text, g);
            text += '\n';
            output << text;
        }
    }
    output.flush();
    return 0;
}

}  // namespace halvex::wmr
