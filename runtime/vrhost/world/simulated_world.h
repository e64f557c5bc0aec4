// What moves in a vrhost session with a scenario: the bodies the mocap server
// streams, the IMU streams of the simulated headset and of the controllers that
// "TrackingOverrides" names, and the truth the devices' poses are compared with.
//
// Streams: "/devices/lighthouse/<headset serial>/imu" when the simulated headset
// is a Lighthouse one, following the head's rigid body; and for each override
// whose key is "/devices/<driver>/<serial>" of one of the driver's devices, the
// stream a driver derives from the value (imu_stream_paths.h), following that
// device's rigid body. A WMR headset ("holographic") has no stream: the head reads
// the headset's IMU from its simulated HID interface (world/wmr_hid_device.h).
#pragma once

#include "vrhost/host/host_options.h"
#include "vrhost/world/imu_stream.h"
#include "vrhost/accuracy/truth_comparison.h"

#include <memory>
#include <string>
#include <vector>

namespace vrhost {

class cImuProducer;
class cWmrHidDevice;
class cIOBuffer;
class cPropertyStore;
class cSettingsStore;

class cSimulatedWorld {
public:
    // Reads the rigid body IDs and overrides from the settings (loaded by now) and
    // registers the streams with the IO buffers. Throws cHostError for an unknown scenario.
    cSimulatedWorld(const sHostOptions& options, const std::string& driverName, cSettingsStore& settings,
                    cPropertyStore& properties, cIOBuffer& ioBuffer);
    ~cSimulatedWorld();
    cSimulatedWorld(const cSimulatedWorld&) = delete;
    cSimulatedWorld& operator=(const cSimulatedWorld&) = delete;

    // The streams appear `imuDelaySeconds` after `now`; samples flow from then on.
    void Start(double now);
    void Stop();

    cTruthComparison& Truth() { return *mTruth; }
    std::vector<sImuStreamStats> StreamStats() const;

private:
    std::shared_ptr<cImuStream> MakeStream(const std::string& path, const std::string& serial, int32_t rigidBodyId);

    const sHostOptions& mOptions;
    cPropertyStore& mProperties;
    std::unique_ptr<cTruthComparison> mTruth;
    std::vector<std::shared_ptr<cImuStream>> mStreams;
    std::unique_ptr<cImuProducer> mProducer;
    // With a WMR headset ("holographic"): its HID interface instead of an IMU stream.
    std::unique_ptr<cWmrHidDevice> mWmrHid;
};

}  // namespace vrhost
