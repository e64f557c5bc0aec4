#include "recording_input.h"

#include "recording_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace halvex::calibrate {
namespace {

namespace fs = std::filesystem;

bool ReadOne(const fs::path& file, sRecordedDevice& device, sInputFault& fault) {
    std::ifstream in(file, std::ios::binary);
    fault.file = file.string();
    if (!in) {
        fault.reason = "cannot be opened";
        return false;
    }
    replay::sRawDataFile raw;
    replay::sInputError error;
    if (!replay::ReadRawDataFile(in, raw, error)) {
        fault.line = error.line;
        fault.reason = error.reason;
        return false;
    }
    device.rawFile = file.string();
    Eigen::Matrix4d imuToHead;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) imuToHead(r, c) = raw.header.imuToHead[r][c];
    device.recording.imuInDevice.matrix() = imuToHead;
    device.recording.orientationOnly = raw.header.orientationOnly;
    const Eigen::Vector3d accelScale(raw.header.factoryAccelScale);
    const Eigen::Vector3d gyroScale(raw.header.factoryGyroScale);
    for (const replay::sRawRow& row : raw.rows) {
        const sRawRecord& r = row.record;
        if (r.sensorType == kRawSensorImu) {
            calibration::sImuSample s;
            s.time = r.eventTime;
            s.accel = Eigen::Vector3d(r.tx, r.ty, r.tz).cwiseProduct(accelScale);
            s.gyro = Eigen::Vector3d(r.rx, r.ry, r.rz).cwiseProduct(gyroScale);
            if (!device.recording.imu.empty() && s.time <= device.recording.imu.back().time) continue;
            if (s.accel.allFinite() && s.gyro.allFinite() && std::isfinite(s.time)) device.recording.imu.push_back(s);
        } else {
            const Eigen::Quaterniond q(r.rw, r.rx, r.ry, r.rz);
            const Eigen::Vector3d p(r.tx, r.ty, r.tz);
            // What the driver drops, dropped: untracked (all zero) or unusable poses.
            if (!std::isfinite(r.eventTime) || !p.allFinite() || !q.coeffs().allFinite() || q.norm() < 0.5) continue;
            device.recording.optical.push_back({r.eventTime, p, q.normalized()});
        }
    }
    return true;
}

bool FilterFileHasRows(const fs::path& filterFile) {
    std::ifstream in(filterFile, std::ios::binary);
    std::string line;
    int lines = 0;
    while (lines < 2 && std::getline(in, line)) ++lines;
    return lines >= 2;
}

}  // namespace

bool ReadRecordedDevices(const std::string& path, std::vector<sRecordedDevice>& devices, sInputFault& fault) {
    devices.clear();
    std::error_code ec;
    std::vector<std::pair<unsigned, fs::path>> files;
    const std::regex name("device([0-9]+)_rawdata\\.csv");
    if (fs::is_directory(path, ec)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(path, ec)) {
            std::smatch m;
            const std::string leaf = entry.path().filename().string();
            if (std::regex_match(leaf, m, name)) files.emplace_back(static_cast<unsigned>(std::stoul(m[1].str())), entry.path());
        }
        if (files.empty()) {
            fault = {path, 0, "holds no device<N>_rawdata.csv file (was recordRawData on?)"};
            return false;
        }
    } else {
        std::smatch m;
        const std::string leaf = fs::path(path).filename().string();
        files.emplace_back(std::regex_match(leaf, m, name) ? static_cast<unsigned>(std::stoul(m[1].str())) : 0u, path);
    }
    std::sort(files.begin(), files.end());
    int controllers = 0;
    for (const auto& [index, file] : files) {
        sRecordedDevice device;
        device.deviceIndex = index;
        if (!ReadOne(file, device, fault)) return false;
        fs::path filter = file;
        filter.replace_filename("device" + std::to_string(index) + "_filter.csv");
        // An orientation-only headset has no filter; its file says what it is.
        if (device.recording.orientationOnly || FilterFileHasRows(filter) || files.size() == 1) {
            device.slot = "Head";
        } else {
            device.slot = controllers++ == 0 ? "ControllerA" : "ControllerB";
        }
        devices.push_back(std::move(device));
    }
    return true;
}

}  // namespace halvex::calibrate
