// vrhost as the program runs it, for the end-to-end test: the built driver folder,
// the client service, and controllers of another tracking system for clients to see.
// No OpenVR header here: the test's own file includes the client side.
#pragma once

#include "platform/environment.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halvex::test {

// The integration tests' own (their header brings the driver side's declarations):
// the test tells the driver where its motion-capture server is through the environment.
using halvex::platform::SetEnvironment;

class cHostedRuntime {
public:
    // `otherControllers`: "SYSTEM/SERIAL" each. `scenario`: the motion the simulated
    // headset's IMU and the truth follow (empty: none); `realisticSensors`: the
    // realistic sensor profile instead of the ideal one.
    cHostedRuntime(const std::filesystem::path& settingsFile, const std::vector<std::string>& otherControllers,
                   const std::string& scenario = std::string(), bool realisticSensors = false);
    ~cHostedRuntime();

    // Loads the driver, starts serving clients, calls Init; false (with a test
    // failure) when any of it fails.
    bool Start();
    // Frames until `done` holds or `seconds` pass.
    bool RunUntil(const std::function<bool()>& done, double seconds);
    // Cleanup, then no more clients.
    void Stop();
    bool HeadPoseValid() const;
    // With a scenario: the head's valid poses received at driver time `from` or later
    // against the truth, as RMS; false when there were none.
    bool HeadErrorSince(double from, double& positionRmsMm, double& orientationRmsDeg, size_t& samples) const;
    // The driver log, one message a line, for failure messages.
    std::string Log() const;

private:
    struct sParts;
    std::unique_ptr<sParts> mParts;
};

}  // namespace halvex::test
