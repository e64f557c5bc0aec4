#include "vrhost/world/imu_stream_paths.h"

namespace vrhost {
namespace {

const std::string kViveControllerPrefix = "/devices/htc/vive_controller";

}  // namespace

std::string HeadsetImuStreamPath(const std::string& headsetSerial) {
    return "/devices/lighthouse/" + headsetSerial + "/imu";
}

std::string ImuStreamPathForOverride(const std::string& overrideValue) {
    if (overrideValue.compare(0, kViveControllerPrefix.size(), kViveControllerPrefix) == 0) {
        return "/devices/lighthouse/" + overrideValue.substr(kViveControllerPrefix.size()) + "/imu";
    }
    return overrideValue + "/imu";
}

std::optional<std::string> SerialOfDevicePath(const std::string& devicePath, const std::string& driverName) {
    const std::string prefix = "/devices/" + driverName + "/";
    if (driverName.empty() || devicePath.size() <= prefix.size() || devicePath.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    std::string serial = devicePath.substr(prefix.size());
    if (serial.find('/') != std::string::npos) return std::nullopt;
    return serial;
}

}  // namespace vrhost
