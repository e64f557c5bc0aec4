// The root object of the driver: the runtime's device provider. It owns the
// devices and the streaming client and holds the state they share.
#pragma once

#include "recording/device_calibration.h"

#include "core/tracking_type.h"
#include "devices/halvex_device.h"
#include "streaming/tessaly_types.h"

#include <openvr_driver.h>

#include <atomic>
#include <cfloat>
#include <cstdint>
#include <string>
#include <thread>

enum eHmdTrackingSystem : int32_t {
    Unknown = 0,
    Lighthouse = 1,
    Oculus = 2,
    Holographic = 3,
};

class cHalvexDeviceProvider : public vr::IServerTrackedDeviceProvider {
public:
    vr::EVRInitError Init(vr::IVRDriverContext* pDriverContext) override;
    void Cleanup() override;
    const char* const* GetInterfaceVersions() override;
    void RunFrame() override {}
    bool ShouldBlockStandbyMode() override { return false; }
    void EnterStandby() override {}
    void LeaveStandby() override {}

    // Init's work, run behind Init's guards against a second call and exceptions.
    vr::EVRInitError InitSteps(vr::IVRDriverContext* pDriverContext);

    // Driver time in seconds on the counter whose frequency Init read.
    double DriverTimeNow() const;

    void ReadSettings();
    // The settings that may change while the devices run (debugLevel, predictDirectPoses,
    // each slot's calibration, handed to its device); false when the store is missing.
    bool ReadLiveSettings();

    // A client's request through a device's DebugRequest, answered as JSON.
    std::string AnswerRequest(const char* request);
    std::string StatusAnswer() const;
    void CreateDevices();
    cIHalvexDevice* CreateDevice(eSemantic semantic, const char* serial);
    eHmdTrackingSystem DetectHmdTrackingSystem();

    // Streaming client (connection, discovery and watchdog, frame dispatch).
    // StartStreaming: log callback, discovery, watchdog; StopStreaming undoes it
    // so that no streaming callback can reach the devices afterwards.
    void StartStreaming();
    void StopStreaming();
    bool ConnectTessaly(sTessalyClientConnectParams& params);
    bool SubscribeRigidBody(int32_t id);
    // Clears the server's subscriptions, then subscribes each device's rigid body.
    void SubscribeRigidBodies(TessalyClient* client);
    void TeardownClient();
    // False (and nothing marked running) when the library could not start one.
    bool StartDiscovery();
    void EndDiscovery();
    // A client that is not being set up and has not shown a frame for the stale time.
    bool ClientIsStale() const;
    // A discovery runs, no client exists, and the search is older than the renew time.
    bool SearchIsDue() const;
    void OnServerDiscovered(const sDiscoveredServer* server);
    void ReconnectThreadProc();
    static void OnFrameReceived(sFrameOfMocapData* frame, void* userData);
    bool DispatchRigidBody(cIHalvexDevice* device, const sFrameOfMocapData* frame);
    void NoteFrameArrival(double arrival);

    int64_t mQpcFrequency = 0;
    double mQpcFrequencyDouble = 0.0;
    cIHalvexDevice* mHeadDevice = nullptr;
    cIHalvexDevice* mControllerADevice = nullptr;
    cIHalvexDevice* mControllerBDevice = nullptr;
    bool mUseMulticast = false;
    std::string mServerAddress;
    std::string mLocalAddress;
    TrackingType mTrackingType = TrackingType_Standard;
    bool mHeadEnabled = false;
    // The IDs change on a reload (runtime's thread) while the discovery and watchdog
    // threads subscribe them.
    std::atomic<int32_t> mRigidBodyIdHead{0};
    bool mControllerAEnabled = false;
    std::atomic<int32_t> mRigidBodyIdControllerA{0};
    bool mControllerBEnabled = false;
    std::atomic<int32_t> mRigidBodyIdControllerB{0};
    // Raised by a reload that changed an ID: the watchdog subscribes the IDs anew.
    std::atomic<bool> mResubscribe{false};
    // A reload's rigid body IDs: a changed ID of a slot with a device is followed at
    // once and subscribed by the watchdog; enabling or disabling a slot takes a restart.
    void ReloadRigidBodyIds();
    bool mRecordRawData = false;
    // These two change live (a reload request) while every thread reads them.
    std::atomic<int32_t> mDebugLevel{0};
    // Direct-path devices hand the runtime their own IMU's rate with each optical pose.
    std::atomic<bool> mPredictDirectPoses{false};
    // Per slot (eSemantic): the calibration from the settings, the identity by default;
    // runtime's thread only. Each device holds its own copy, replaced on a reload.
    halvex::sDeviceCalibration mCalibrations[3];
    cIHalvexDevice* SlotDevice(eSemantic slot) const;
    void ReadCalibrationSettings(vr::IVRSettings* settings);
    // The client, the discovery handle and the frame time are shared by the
    // discovery, frame and watchdog threads: atomic, so no access is a data race.
    std::atomic<TessalyClient*> mClient{nullptr};
    sServerDescription mServerDescription{};
    std::atomic<TessalyDiscoveryHandle> mDiscovery{nullptr};
    std::atomic<bool> mDiscoveryRunning{false};
    // Driver time of the last discovery start. A search that has found nothing for
    // mDiscoveryRenewSeconds is replaced by a fresh one: the library may stop probing
    // after a while, and a server may appear at any later time.
    std::atomic<double> mDiscoveryStartedAt{0.0};
    double mDiscoveryRenewSeconds = 300.0;
    std::thread mReconnectThread;
    std::atomic<bool> mStopReconnect{false};
    std::atomic<double> mLastFrameTime{DBL_MAX};
    // For the status, kept by the frame thread: frames counted over windows of about a
    // second, the rate of the last whole window, and a running mean of the optical latency.
    std::atomic<double> mFrameWindowStart{0.0};
    std::atomic<uint32_t> mFramesInWindow{0};
    std::atomic<double> mFrameRate{0.0};
    std::atomic<double> mMeanLatency{-1.0};
    // Set while ConnectTessaly still uses the client it stored: the watchdog leaves it alone.
    std::atomic<bool> mConnecting{false};
    // The library call that starts a discovery; tests put a failing one in its place.
    using DiscoveryStartFunc = ErrorCode (*)(TessalyDiscoveryHandle*, TessalyServerDiscoveryCallbackFunc, void*);
    DiscoveryStartFunc mStartDiscoveryCall = &Tessaly_CreateAsyncServerDiscovery;
};

// The one provider of the library, handed out by HmdDriverFactory.
cHalvexDeviceProvider& TheDeviceProvider();
