#include "vrhost/host/host.h"

#include "vrhost/host/driver_context.h"
#include "vrhost/host/driver_library.h"
#include "vrhost/host/driver_log.h"
#include "vrhost/host/driver_manager.h"
#include "vrhost/host/host_error.h"
#include "vrhost/interfaces/io_buffer.h"
#include "vrhost/accuracy/pose_csv_writer.h"
#include "vrhost/interfaces/resources.h"
#include "vrhost/host/server_driver_host.h"
#include "vrhost/interfaces/settings_store.h"
#include "vrhost/world/oculus_headset.h"
#include "vrhost/world/simulated_world.h"
#include "vrhost/accuracy/summary.h"

#include "platform/clock.h"
#include "platform/sleep.h"

#include <chrono>

namespace vrhost {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProviderVersion = "IServerTrackedDeviceProvider_004";

}  // namespace

cHost::cHost(sHostOptions options)
    : mOptions(std::move(options)),
      mSettings(std::make_unique<cSettingsStore>()),
      mProperties(std::make_unique<cPropertyStore>()),
      mServerDriverHost(std::make_unique<cServerDriverHost>(*mProperties, mOptions.poseHistoryLimit)),
      mLog(std::make_unique<cDriverLog>(mOptions.logCaptureLimit)),
      mDriverManager(std::make_unique<cDriverManager>()),
      mResources(std::make_unique<cResources>()),
      mContext(std::make_unique<cDriverContext>()),
      mIOBuffer(std::make_unique<cIOBuffer>()) {
    mContext->Provide(vr::IVRServerDriverHost_Version, static_cast<vr::IVRServerDriverHost*>(mServerDriverHost.get()));
    mContext->Provide(vr::IVRSettings_Version, static_cast<vr::IVRSettings*>(mSettings.get()));
    mContext->Provide(vr::IVRProperties_Version, static_cast<vr::IVRProperties*>(mProperties.get()));
    mContext->Provide(vr::IVRDriverLog_Version, static_cast<vr::IVRDriverLog*>(mLog.get()));
    mContext->Provide(vr::IVRDriverManager_Version, static_cast<vr::IVRDriverManager*>(mDriverManager.get()));
    mContext->Provide(vr::IVRResources_Version, static_cast<vr::IVRResources*>(mResources.get()));
    mContext->Provide(vr::IVRIOBuffer_Version, static_cast<vr::IVRIOBuffer*>(mIOBuffer.get()));
    for (const std::string& version : mOptions.withheldInterfaces) mContext->Withhold(version);
    mLog->SetEcho(mOptions.logEcho);
    SetUpSimulatedHmd();
}

cHost::~cHost() {
    if (mInitCalled && !mCleanedUp) Cleanup();
    UnloadDriver();
}

void cHost::SetUpSimulatedHmd() {
    mHmdContainer = mProperties->AttachDevice(vr::k_unTrackedDeviceIndex_Hmd);
    if (mOptions.hmdTrackingSystem) {
        mProperties->HostSetString(mHmdContainer, vr::Prop_TrackingSystemName_String, *mOptions.hmdTrackingSystem);
    }
    mProperties->HostSetString(mHmdContainer, vr::Prop_SerialNumber_String, mOptions.hmdSerial);
    mProperties->HostSetInt32(mHmdContainer, vr::Prop_DeviceClass_Int32, vr::TrackedDeviceClass_HMD);
}

void cHost::LoadDriver(const std::string& folderOrLibrary) {
    if (mLibrary) throw cHostError("a driver is already loaded");
    sDriverLocation location = LocateDriver(folderOrLibrary);

    if (!location.folder.empty()) {
        mSettings->LoadDefaultsFile(location.folder / "resources" / "settings" / "default.vrsettings");
    }
    if (!mOptions.settingsFile.empty()) mSettings->LoadUserFile(fs::u8path(mOptions.settingsFile));
    if (mOptions.predictDirectPoses) {
        mSettings->SetBool(("driver_" + location.name).c_str(), "predictDirectPoses", true, nullptr);
    }
    if (!mOptions.logFile.empty()) mLog->OpenFile(fs::u8path(mOptions.logFile));
    if (!mOptions.posesCsvFile.empty()) {
        mPoseCsv = std::make_unique<cPoseCsvWriter>(fs::u8path(mOptions.posesCsvFile));
        mServerDriverHost->SetPoseCsv(mPoseCsv.get());
    }

    // The driver's own handle is a property container, as in the runtime.
    const vr::DriverHandle_t driverHandle = mProperties->CreateContainer();
    mDriverManager->SetDriver(location.name, driverHandle);
    mResources->SetDriver(location.name, location.folder);
    mContext->SetDriverHandle(driverHandle);

    // An Oculus headset's samples come from the child program the driver starts from its folder.
    if (mOptions.hmdTrackingSystem && *mOptions.hmdTrackingSystem == "oculus" && !location.folder.empty())
        InstallOculusChild(OculusChildBesideProgram(), location.folder);

    mServerDriverHost->SetPoseObserver(nullptr);
    mWorld.reset();
    mIOBuffer->RemoveAll();
    if (!mOptions.scenario.empty()) {
        mWorld = std::make_unique<cSimulatedWorld>(mOptions, location.name, *mSettings, *mProperties, *mIOBuffer);
        mServerDriverHost->SetPoseObserver(&mWorld->Truth());
        if (mPoseCsv) mPoseCsv->SetTruth(&mWorld->Truth());
    }

    std::unique_ptr<cDriverLibrary> library = cDriverLibrary::Open(location.library);
    int returnCode = vr::VRInitError_None;
    void* provider = library->Factory()(kProviderVersion, &returnCode);
    if (!provider) {
        throw cHostError("driver library " + location.library.u8string() + " does not provide " + kProviderVersion +
                         " (HmdDriverFactory returned error " + std::to_string(returnCode) + ")");
    }
    mProvider = static_cast<vr::IServerTrackedDeviceProvider*>(provider);
    mLibrary = std::move(library);
    mLocation = std::move(location);
}

vr::EVRInitError cHost::Init() {
    if (!mProvider) throw cHostError("Init without a loaded driver");
    mServerDriverHost->SetExiting(false);
    // The streams exist before the driver's threads look for them (unless delayed).
    if (mWorld) mWorld->Start(halvex::platform::NowSeconds());
    const vr::EVRInitError result = mProvider->Init(mContext.get());
    mInitResult = result;
    mInitCalled = true;
    mCleanedUp = false;
    // A driver that failed Init gets no device activated, as in the runtime.
    if (result == vr::VRInitError_None) mServerDriverHost->ActivatePending();
    return result;
}

void cHost::RunFrames(uint64_t count) {
    // A driver whose Init failed gets no frames, as in the runtime.
    if (!mProvider || !mInitCalled || mCleanedUp || mInitResult != vr::VRInitError_None) return;
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / mOptions.frameRateHz));
    auto next = std::chrono::steady_clock::now();
    const double start = halvex::platform::NowSeconds();
    for (uint64_t i = 0; i < count; ++i) {
        RunOneFrame();
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next < now - period) next = now;  // fell behind: do not catch up in a burst
        if (i + 1 < count) halvex::platform::SleepUntil(next);
    }
    mRunSeconds = mRunSeconds.load() + (halvex::platform::NowSeconds() - start);
}

void cHost::RunFor(double seconds, const std::atomic<bool>* stop) {
    // A driver whose Init failed gets no frames, as in the runtime.
    if (!mProvider || !mInitCalled || mCleanedUp || mInitResult != vr::VRInitError_None) return;
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / mOptions.frameRateHz));
    const auto begin = std::chrono::steady_clock::now();
    const bool limited = seconds >= 0.0;
    const auto end = begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(limited ? seconds : 0.0));
    auto next = begin;
    const double start = halvex::platform::NowSeconds();
    while (!(stop && stop->load()) && !(limited && std::chrono::steady_clock::now() >= end)) {
        RunOneFrame();
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next < now - period) next = now;
        halvex::platform::SleepUntil(limited && next > end ? end : next);
    }
    mRunSeconds = mRunSeconds.load() + (halvex::platform::NowSeconds() - start);
}

void cHost::RunOneFrame() {
    mServerDriverHost->ActivatePending();
    mProvider->RunFrame();
    ++mFrames;
    if (mWorld) mWorld->Truth().OnDisplayRefresh(halvex::platform::NowSeconds());
}

void cHost::Cleanup() {
    if (!mProvider || !mInitCalled || mCleanedUp) return;
    mServerDriverHost->SetExiting(true);
    {
        const auto calls = mServerDriverHost->HoldDriverCalls();
        if (mOptions.deactivateBeforeCleanup) mServerDriverHost->DeactivateAll();
        mProvider->Cleanup();
        mServerDriverHost->ReleaseDevices();
    }
    if (mWorld) mWorld->Stop();
    mIOBuffer->CloseAll();  // handles a driver left open die with it
    mCleanedUp = true;
    if (mPoseCsv) mPoseCsv->Flush();
}

void cHost::UnloadDriver() {
    if (mInitCalled && !mCleanedUp) Cleanup();
    mServerDriverHost->ReleaseDevices();
    mProvider = nullptr;
    mLibrary.reset();
    mServerDriverHost->SetPoseCsv(nullptr);
    mPoseCsv.reset();
    mLog->Close();
}

std::vector<std::string> cHost::Log() const { return mLog->Messages(); }

std::vector<sPoseUpdate> cHost::PoseUpdates() const { return mServerDriverHost->PoseUpdates(); }

uint64_t cHost::RejectedPoseUpdates() const { return mServerDriverHost->RejectedPoseUpdates(); }

std::vector<sDeviceRecord> cHost::Devices() const { return mServerDriverHost->Devices(); }

std::vector<sPropertyRecord> cHost::Properties(vr::TrackedDeviceIndex_t index) const {
    return mProperties->Snapshot(mProperties->TrackedDeviceToPropertyContainer(index));
}

std::vector<sAccuracyReport> cHost::AccuracyReports() const {
    return mWorld ? mWorld->Truth().Reports() : std::vector<sAccuracyReport>{};
}

std::vector<sImuStreamStats> cHost::ImuStreamStats() const {
    return mWorld ? mWorld->StreamStats() : std::vector<sImuStreamStats>{};
}

std::string cHost::Summary() const {
    sSummaryData data;
    data.driverName = mLocation.name;
    data.library = mLocation.library.generic_u8string();
    data.initCalled = mInitCalled;
    data.initResult = InitResult();
    data.frames = mFrames;
    data.runSeconds = mRunSeconds;
    data.logMessages = mLog->MessageCount();
    data.hmdTrackingSystem = mOptions.hmdTrackingSystem;
    data.hmdSerial = mOptions.hmdSerial;
    data.hmdProperties = Properties(vr::k_unTrackedDeviceIndex_Hmd);
    data.devices = Devices();
    for (const sDeviceRecord& device : data.devices) data.deviceProperties.push_back(Properties(device.index));
    data.rejectedPoseUpdates = RejectedPoseUpdates();
    if (mWorld) {
        data.scenario = mOptions.scenario;
        data.settleSeconds = mOptions.settleSeconds;
        data.displayPredictionSeconds = mOptions.displayPredictionSeconds;
        data.accuracy = AccuracyReports();
        data.imuStreams = ImuStreamStats();
    }
    return FormatSummary(data);
}

}  // namespace vrhost
