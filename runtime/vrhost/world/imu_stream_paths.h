// Where the runtime publishes IMU streams, and which stream a driver opens for a
// device it overrides: the same rules a driver applies, kept in one place so
// vrhost serves exactly the paths a driver will ask for.
#pragma once

#include <optional>
#include <string>

namespace vrhost {

// "/devices/lighthouse/<serial>/imu": the IMU of the headset the runtime tracks.
std::string HeadsetImuStreamPath(const std::string& headsetSerial);

// The stream of the physical device a "TrackingOverrides" value names: the value
// followed by "/imu", except that a value beginning with the 28 characters
// "/devices/htc/vive_controller" becomes "/devices/lighthouse/" + the rest + "/imu".
std::string ImuStreamPathForOverride(const std::string& overrideValue);

// The serial of a device path "/devices/<driverName>/<serial>"; nullopt otherwise.
std::optional<std::string> SerialOfDevicePath(const std::string& devicePath, const std::string& driverName);

}  // namespace vrhost
