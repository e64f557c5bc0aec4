#include "filter_comparison.h"

#include "csv_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace halvex::replay {
namespace {

double Value(const sFilterRecord& record, int column) {
    if (column == 0) return record.driverTime;
    if (column == 1) return record.rowType;
    if (column < 2 + static_cast<int>(sFilterRecord::kStateCount)) return record.state[column - 2];
    return record.covarianceDiagonal[column - 2 - static_cast<int>(sFilterRecord::kStateCount)];
}

// Relative difference, absolute below 1; NaN on both sides counts as equal.
double Difference(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return 0.0;
    if (a == b) return 0.0;
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    const double d = std::fabs(a - b) / scale;
    return std::isnan(d) ? INFINITY : d;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// The first column (after driverTime) where the two differ, or -1.
int FirstDifference(const sFilterRecord& a, const sFilterRecord& b, double tolerance, double& largest) {
    for (int c = 1; c < static_cast<int>(sFilterRecord::kValueCount); ++c) {
        const double d = Difference(Value(a, c), Value(b, c));
        if (d > tolerance) return c;
        largest = std::max(largest, d);
    }
    return -1;
}

}  // namespace

bool RowsAgree(const sFilterRecord& a, const sFilterRecord& b, double tolerance) {
    double largest = 0.0;
    return FirstDifference(a, b, tolerance, largest) < 0;
}

sComparison CompareFilterRows(const std::vector<sFilterRow>& replayed, const std::vector<sFilterRow>& recorded,
                              double tolerance) {
    sComparison result;
    const size_t common = std::min(replayed.size(), recorded.size());
    for (size_t i = 0; i < common; ++i) {
        double largest = 0.0;
        const int column = FirstDifference(replayed[i].record, recorded[i].record, tolerance, largest);
        if (column >= 0) {
            result.parted = true;
            result.partIndex = i;
            result.column = column;
            return result;
        }
        result.largestDifference = std::max(result.largestDifference, largest);
        ++result.agreeing;
    }
    if (replayed.size() != recorded.size()) {
        result.parted = true;
        result.partIndex = common;
    }
    return result;
}

std::string DescribeComparison(const sComparison& comparison, const sReplayResult& replay,
                               const std::vector<sFilterRow>& recorded, const std::string& recordedName) {
    const std::vector<sFilterRow>& replayed = replay.filterRows;
    if (!comparison.parted) {
        return "the replay reproduces all " + std::to_string(comparison.agreeing) + " rows of " + recordedName +
               " (largest relative difference " + Number(comparison.largestDifference) + ")";
    }
    std::string text = "the replay agrees with " + recordedName + " on the first " +
                       std::to_string(comparison.agreeing) + " rows";
    const size_t i = comparison.partIndex;
    if (comparison.column < 0) {
        text += ", then " + recordedName + " has " + std::to_string(recorded.size()) + " rows and the replay " +
                std::to_string(replayed.size());
        return text;
    }
    const std::vector<std::string> columns = tools::SplitFields(kFilterColumns);
    const sFilterRecord& mine = replayed[i].record;
    const sFilterRecord& theirs = recorded[i].record;
    text += "; they part at " + recordedName + " line " + std::to_string(recorded[i].line) + " (driverTime " +
            Number(theirs.driverTime) + "), column " + columns[comparison.column] + ": replay " +
            Number(Value(mine, comparison.column)) + ", recorded " + Number(Value(theirs, comparison.column)) + ". ";
    const bool recordedFresh = IsFreshFilter(theirs);
    const bool replayFresh = IsFreshFilter(mine);
    if (recordedFresh && !replayFresh) {
        text += "The device had reset its filter there and the replay had not: the reset was decided at an IMU "
                "poll whose time the recording does not hold.";
    } else if (replayFresh && !recordedFresh) {
        const sReplayReset* last = nullptr;
        for (const sReplayReset& reset : replay.resets) {
            if (reset.line <= replayed[i].line) last = &reset;
        }
        text += "The replay had reset its filter there and the device had not";
        if (last != nullptr && last->line > 0)
            text += " (replay reset at raw data line " + std::to_string(last->line) + ", " + last->reason + ")";
        text += ": the device's IMU poll saw other times than the recorded ones.";
    } else {
        text += "Both filters were in the same phase; the inputs or parameters differ.";
    }
    return text;
}

}  // namespace halvex::replay
