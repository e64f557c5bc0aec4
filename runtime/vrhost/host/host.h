// cHost: the stand-in VR runtime server in one object. It loads a driver the way
// the runtime does, answers its host interfaces and records what the driver did.
// The thread that calls LoadDriver/Init/Run*/Cleanup is the runtime thread; once
// LoadDriver has returned, the query functions may be called from any thread, also
// while the driver runs.
//
//   vrhost::cHost host(options);
//   host.LoadDriver("build/native/halvex");   // throws cHostError on bad input
//   host.Init();                              // the provider's Init result
//   host.RunFor(2.0);                         // RunFrame at 90 Hz
//   host.Cleanup();
//   std::cout << host.Summary();
#pragma once

#include "vrhost/host/driver_location.h"
#include "vrhost/host/host_options.h"
#include "vrhost/host/host_records.h"
#include "vrhost/world/imu_stream.h"
#include "vrhost/interfaces/property_store.h"
#include "vrhost/accuracy/truth_comparison.h"

#include <openvr_driver.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace vrhost {

class cDriverContext;
class cDriverLibrary;
class cDriverLog;
class cDriverManager;
class cIOBuffer;
class cPoseCsvWriter;
class cResources;
class cServerDriverHost;
class cSettingsStore;
class cSimulatedWorld;

class cHost {
public:
    explicit cHost(sHostOptions options = {});
    ~cHost();  // cleans up and unloads what is still loaded
    cHost(const cHost&) = delete;
    cHost& operator=(const cHost&) = delete;

    // Finds the driver (folder or library), reads the settings layers, opens the
    // log and pose files, loads the library and asks HmdDriverFactory for the
    // provider. Throws cHostError with a one-line reason on any bad input.
    void LoadDriver(const std::string& folderOrLibrary);
    // Calls the provider's Init; on success activates the devices it registered.
    vr::EVRInitError Init();
    // Frames at the frame rate: activate newly registered devices, then RunFrame.
    // Nothing runs after a failed Init.
    void RunFrames(uint64_t count);
    // Frames until `seconds` have passed (negative: no limit) or *stop turns true.
    void RunFor(double seconds, const std::atomic<bool>* stop = nullptr);
    // Deactivates the devices (unless disabled), then the provider's Cleanup.
    void Cleanup();
    void UnloadDriver();

    const sDriverLocation& Driver() const { return mLocation; }
    bool Initialized() const { return mInitCalled.load(); }
    vr::EVRInitError InitResult() const { return static_cast<vr::EVRInitError>(mInitResult.load()); }
    uint64_t FrameCount() const { return mFrames.load(); }

    std::vector<std::string> Log() const;
    std::vector<sPoseUpdate> PoseUpdates() const;
    uint64_t RejectedPoseUpdates() const;
    std::vector<sDeviceRecord> Devices() const;
    // Properties of a tracked device index (0: the simulated headset).
    std::vector<sPropertyRecord> Properties(vr::TrackedDeviceIndex_t index) const;
    // With a scenario: each device's accuracy against the truth, and each IMU
    // stream's counts and poll period (empty without a scenario).
    std::vector<sAccuracyReport> AccuracyReports() const;
    std::vector<sImuStreamStats> ImuStreamStats() const;
    // The summary printed at the end of a session; format in runtime/README.md.
    std::string Summary() const;

    // The host interfaces themselves, for tests and for extensions.
    cSettingsStore& Settings() { return *mSettings; }
    cPropertyStore& PropertyStore() { return *mProperties; }
    cServerDriverHost& ServerDriverHost() { return *mServerDriverHost; }
    cDriverLog& DriverLog() { return *mLog; }
    cDriverContext& Context() { return *mContext; }
    cIOBuffer& IOBuffer() { return *mIOBuffer; }
    // Null until LoadDriver, and without a scenario.
    cSimulatedWorld* World() { return mWorld.get(); }
    vr::IServerTrackedDeviceProvider* Provider() { return mProvider; }

private:
    void SetUpSimulatedHmd();
    // Activation, RunFrame, and the display refresh of the truth comparison.
    void RunOneFrame();

    sHostOptions mOptions;
    sDriverLocation mLocation;
    std::unique_ptr<cSettingsStore> mSettings;
    std::unique_ptr<cPropertyStore> mProperties;
    std::unique_ptr<cServerDriverHost> mServerDriverHost;
    std::unique_ptr<cDriverLog> mLog;
    std::unique_ptr<cDriverManager> mDriverManager;
    std::unique_ptr<cResources> mResources;
    std::unique_ptr<cDriverContext> mContext;
    std::unique_ptr<cIOBuffer> mIOBuffer;
    std::unique_ptr<cSimulatedWorld> mWorld;
    std::unique_ptr<cPoseCsvWriter> mPoseCsv;
    std::unique_ptr<cDriverLibrary> mLibrary;
    vr::IServerTrackedDeviceProvider* mProvider = nullptr;
    vr::PropertyContainerHandle_t mHmdContainer = vr::k_ulInvalidPropertyContainer;
    // Written by the runtime thread, read by queries from any thread.
    std::atomic<bool> mInitCalled{false};
    std::atomic<bool> mCleanedUp{false};
    std::atomic<int> mInitResult{vr::VRInitError_None};
    std::atomic<uint64_t> mFrames{0};
    std::atomic<double> mRunSeconds{0.0};
};

}  // namespace vrhost
