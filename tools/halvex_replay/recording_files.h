// Reading back the recording files a device writes: the raw data file (header
// with the IMU-to-head transform and, Lighthouse, factory scales, then time-ordered IMU and
// optical rows) and the filter file. A malformed file is refused with the line
// number and the reason.
#pragma once

#include "recording/csv_format.h"
#include "recording/records.h"

#include <istream>
#include <string>
#include <vector>

namespace halvex::replay {

struct sInputError {
    long line = 0;  // 1-based; 0 when the file is not at fault (cannot be opened)
    std::string reason;
};

struct sRawRow {
    sRawRecord record;
    long line = 0;
};

struct sRawDataFile {
    sRawDataHeader header;
    std::vector<sRawRow> rows;
};

struct sFilterRow {
    sFilterRecord record;
    long line = 0;
};

// Lighthouse (with factory-scale lines), WMR (without) and orientation-only raw data files.
bool ReadRawDataFile(std::istream& in, sRawDataFile& file, sInputError& error);

// Rows with the type as a number (Lighthouse) or as its name (WMR).
bool ReadFilterFile(std::istream& in, std::vector<sFilterRow>& rows, sInputError& error);

}  // namespace halvex::replay
