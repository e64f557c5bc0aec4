// The body of a device's recording thread: drains the device's recording rings into
// two CSV files in the recording log folder until asked to stop.
//
//   device<index>_rawdata.csv  IMU and optical samples, one time-ordered stream
//   device<index>_filter.csv   filter snapshots, in the order they were taken (devices with a filter)
//   device<index>_imuraw.csv   (WMR) every raw HID sensor report as a text line
//
// The loop is the only consumer of the rings it is given. It never ends the process:
// when the folder or a file cannot be made it logs one line and returns, and the
// producers keep pushing into rings that fill up and drop.
#pragma once

#include "recording/csv_format.h"
#include "recording/record_ring.h"
#include "recording/device_calibration.h"
#include "recording/records.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <string>

namespace halvex {

using cRawRecordRing = cRecordRing<sRawRecord>;
using cFilterRecordRing = cRecordRing<sFilterRecord>;
using cReportRecordRing = cRecordRing<sReportRecord>;

// How a filter row states its row type: a number (Lighthouse) or a name (WMR).
enum class eFilterRowStyle { Lighthouse, Wmr };

struct sRecordingSetup {
    // Any ring may be null: it is then taken as always empty.
    cRawRecordRing* imuRawRing = nullptr;
    cRawRecordRing* opticalRawRing = nullptr;
    cFilterRecordRing* filterRing = nullptr;  // none: a device without a filter writes no filter file
    eFilterRowStyle filterRowStyle = eFilterRowStyle::Lighthouse;
    // Read once, when the headers are written.
    sRawDataHeader header;
    // With a report ring, the third file: `reportHeader`, then `reportLine` of each
    // record. A report file that cannot be opened only costs its own lines.
    cReportRecordRing* reportRing = nullptr;
    std::string reportHeader;
    std::function<std::string(const sReportRecord&)> reportLine;
    // When given, written once to "device<N>_calibration.txt" beside the CSV files.
    const sDeviceCalibration* calibration = nullptr;
    uint32_t deviceIndex = 0;
    // Receives each complete log line (with its "\n"); may be empty.
    std::function<void(const char*)> log;
    // UTF-8 folder for the files; empty means platform::RecordingLogFolder().
    std::string logFolder;
    // A producer stamps driverTime just before its push, so a thread preempted in
    // between can push a record older than one already on the other ring. A ring front
    // with nothing on the other ring to compare against is therefore written only once
    // it is `settleSeconds` old by this clock (the producers' clock). Empty: at once.
    std::function<double()> driverTimeNow;
    double settleSeconds = 0.1;
    // Records made before this (driver clock) are taken off the rings unwritten: a
    // producer that saw the last recording enabled may push after its thread ended,
    // and that record must not open this one.
    double recordFrom = -std::numeric_limits<double>::infinity();
    // Held by a producer across all the records of one sample (its raw row and its
    // filter rows). At the stop the loop takes it while it counts what the rings hold,
    // so the files never end with a sample's raw row but not all of its filter rows
    // (a producer still running then would be caught between its pushes). May be null.
    std::mutex* sampleLock = nullptr;
};

struct sRecordingResult {
    bool filesOpened = false;
    uint64_t imuRows = 0;
    uint64_t opticalRows = 0;
    uint64_t filterRows = 0;
    uint64_t reportRows = 0;
    uint64_t failedWrites = 0;  // rows or flushes the file refused
};

// "<folder>device<index><suffix>", the name every file of a recording has; `folder`
// ends in a separator or is empty.
std::string RecordingFilePath(const std::string& folder, uint32_t deviceIndex, const char* suffix);
// Where a recording of `deviceIndex` with the default folder writes its raw data file.
std::string DefaultRawDataFilePath(uint32_t deviceIndex);

// Runs until `stop` is set, then writes what the rings held at that moment (counted
// under `sampleLock`), flushes and closes the files. While no raw row is ready
// it flushes both files, drains the filter ring and sleeps 1 ms.
sRecordingResult RunRecordingLoop(const sRecordingSetup& setup, const std::atomic<bool>& stop);

}  // namespace halvex
