// Row-by-row comparison of a replay's filter rows with a device's own filter
// file: how far they agree, and where and why they part.
#pragma once

#include "device_replay.h"

#include <cstddef>
#include <string>
#include <vector>

namespace halvex::replay {

struct sComparison {
    size_t agreeing = 0;  // leading rows equal to rounding
    bool parted = false;  // a row differs, or one side has more rows
    size_t partIndex = 0;  // first differing row (0-based), valid when parted
    int column = -1;       // its first differing column, -1 when only the counts differ
    double largestDifference = 0.0;  // relative, over the agreeing rows
};

// All values but the driverTime agree to `tolerance` (relative, or absolute near 0).
bool RowsAgree(const sFilterRecord& a, const sFilterRecord& b, double tolerance = 1e-9);

// Values agree when they differ by at most `tolerance` relative (or absolute near 0).
// The driverTime column is not compared: the device stamps its rows a little later.
sComparison CompareFilterRows(const std::vector<sFilterRow>& replayed, const std::vector<sFilterRow>& recorded,
                              double tolerance = 1e-9);

// A sentence or two for the user: where the two part and what the filters did there.
std::string DescribeComparison(const sComparison& comparison, const sReplayResult& replay,
                               const std::vector<sFilterRow>& recorded, const std::string& recordedName);

}  // namespace halvex::replay
