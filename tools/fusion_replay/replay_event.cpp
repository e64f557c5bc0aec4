#include "replay_event.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace halvex {
namespace {

struct sEventShape {
    const char* name;
    eReplayEventKind kind;
    int valueCount;
};

constexpr sEventShape kShapes[] = {
    {"params", eReplayEventKind::Params, 4},
    {"bias", eReplayEventKind::Bias, 6},
    {"imu", eReplayEventKind::Imu, 7},
    {"opt", eReplayEventKind::Optical, 11},
};

std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        fields.push_back(Trimmed(line.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

bool ParseNumber(const std::string& field, double& value) {
    if (field.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(field.c_str(), &end);
    // Out-of-range values come back as inf or 0 with ERANGE; both are kept as parsed.
    return end == field.c_str() + field.size();
}

}  // namespace

bool ParseReplayEvent(const std::string& line, sReplayEvent& event, std::string& reason) {
    event = sReplayEvent();
    const std::string content = Trimmed(line);
    if (content.empty() || content[0] == '#') return true;

    const std::vector<std::string> fields = SplitFields(content);
    const sEventShape* shape = nullptr;
    for (const sEventShape& candidate : kShapes) {
        if (fields[0] == candidate.name) shape = &candidate;
    }
    if (shape == nullptr) {
        reason = "unknown event '" + fields[0] + "'";
        return false;
    }
    const int given = static_cast<int>(fields.size()) - 1;
    if (given != shape->valueCount) {
        reason = "'" + fields[0] + "' needs " + std::to_string(shape->valueCount) +
                 " numbers, got " + std::to_string(given);
        return false;
    }
    for (int i = 0; i < given; ++i) {
        if (!ParseNumber(fields[i + 1], event.values[i])) {
            reason = "field " + std::to_string(i + 2) + " '" + fields[i + 1] + "' is not a number";
            return false;
        }
    }
    event.kind = shape->kind;
    event.valueCount = given;
    return true;
}

}  // namespace halvex
