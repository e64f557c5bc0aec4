#include "replay_event.h"

#include "csv_fields.h"

#include <vector>

namespace halvex {
namespace {

using tools::ParseNumber;
using tools::SplitFields;
using tools::Trimmed;

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
