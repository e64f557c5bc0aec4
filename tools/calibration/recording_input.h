// The devices of a recording folder (or one raw data file) as calibration input:
// each device<N>_rawdata.csv read with the replay tool's reader, factory scales
// applied to its IMU rows. The head is the device whose filter file has rows, or
// whose header states an orientation-only headset; the other devices are the
// controllers, A then B by device number.
#pragma once

#include "calibration_recording.h"

#include <string>
#include <vector>

namespace halvex::calibrate {

struct sRecordedDevice {
    std::string rawFile;
    unsigned deviceIndex = 0;
    std::string slot;  // "Head", "ControllerA", "ControllerB"
    calibration::sCalibrationRecording recording;
};

struct sInputFault {
    std::string file;
    long line = 0;  // 0: not a line's fault
    std::string reason;
};

// False with the first fault.
bool ReadRecordedDevices(const std::string& path, std::vector<sRecordedDevice>& devices, sInputFault& fault);

}  // namespace halvex::calibrate
