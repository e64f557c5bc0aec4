// The lines of the recording CSV files, written with printf so the numbers are
// full double precision and the files read back bit-exact. Files are opened in
// binary mode: every line ends in a single line feed on every platform.
#pragma once

#include "recording/records.h"

#include <cstdio>

namespace halvex {

// What the raw data file states about its device before the first row.
struct sRawDataHeader {
    // Row-major 4x4 IMU-to-head transform; rows 0 to 2 are written.
    double imuToHead[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    // The Lighthouse class also states the factory scales of its IMU.
    bool hasFactoryScales = false;
    double factoryAccelScale[3] = {1, 1, 1};
    double factoryGyroScale[3] = {1, 1, 1};
    // An orientation-only headset (no accelerometer): its "imu" rows carry the headset's
    // body-frame angular velocity in rx, ry, rz and zeros in tx, ty, tz. Stated by
    // kOrientationOnlySourceLine after the ImuToHead matrix.
    bool orientationOnly = false;
};

// The column lines of the raw data and filter files, without the line end.
extern const char kRawDataColumns[];
extern const char kFilterColumns[];
extern const char kOrientationOnlySourceLine[];

// Each returns false when the stream reported a write error.
bool WriteRawDataHeader(std::FILE* file, const sRawDataHeader& header);
// "imu" or "opt", then the seven sample values.
bool WriteRawRow(std::FILE* file, const sRawRecord& record);

bool WriteFilterHeader(std::FILE* file);
// All 39 values as numbers.
bool WriteLighthouseFilterRow(std::FILE* file, const sFilterRecord& record);
// The row type as its name (", opt_pre"), the other 38 values as numbers.
bool WriteWmrFilterRow(std::FILE* file, const sFilterRecord& record);

// Name of the row type held as a double; values outside int give "unk".
std::string RowTypeNameOfValue(double rowType);

}  // namespace halvex
