#include "core/device_provider.h"

#include "core/callback_boundary.h"
#include "core/driver_log.h"
#include "core/driver_time.h"
#include "core/host_interfaces.h"
#include "core/settings_section.h"
#include "core/property_access.h"
#include "devices/oculus_device.h"
#include "devices/steamvr_device.h"
#include "devices/wmr_device.h"
#include "platform/clock.h"

#include <cctype>
#include <cstring>

namespace {

const char* const kDriverVersion = "2.2.0.0";
const char* const kDriverChangelist = "57183";

struct sSlot {
    cIHalvexDevice* cHalvexDeviceProvider::*device;
    bool cHalvexDeviceProvider::*enabled;
    std::atomic<int32_t> cHalvexDeviceProvider::*rigidBodyId;
    eSemantic semantic;
    const char* serial;
    const char* settingKey;
};

// Always handled in this order: head, controller A, controller B.
const sSlot kSlots[] = {
    {&cHalvexDeviceProvider::mHeadDevice, &cHalvexDeviceProvider::mHeadEnabled,
     &cHalvexDeviceProvider::mRigidBodyIdHead, Hmd, "halvex-head", "tessalyRigidBodyIdHead"},
    {&cHalvexDeviceProvider::mControllerADevice, &cHalvexDeviceProvider::mControllerAEnabled,
     &cHalvexDeviceProvider::mRigidBodyIdControllerA, ControllerA, "halvex-controller-a",
     "tessalyRigidBodyIdControllerA"},
    {&cHalvexDeviceProvider::mControllerBDevice, &cHalvexDeviceProvider::mControllerBEnabled,
     &cHalvexDeviceProvider::mRigidBodyIdControllerB, ControllerB, "halvex-controller-b",
     "tessalyRigidBodyIdControllerB"},
};

// Case-insensitive over the length of `value`, so a leading part of a name matches it.
bool MatchesLeadingPart(const std::string& value, const char* name) {
    const size_t nameLength = std::strlen(name);
    if (value.size() > nameLength) return false;
    for (size_t i = 0; i < value.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(value[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

}  // namespace

cHalvexDeviceProvider& TheDeviceProvider() {
    static cHalvexDeviceProvider provider;
    return provider;
}

double cHalvexDeviceProvider::DriverTimeNow() const { return halvex::DriverTimeNow(mQpcFrequencyDouble); }

namespace {

halvex::cCallbackBoundary gInitBoundary("Init");
halvex::cCallbackBoundary gCleanupBoundary("Cleanup");

}  // namespace

vr::EVRInitError cHalvexDeviceProvider::Init(vr::IVRDriverContext* pDriverContext) {
    // A second Init would assign over the running watchdog thread, which ends the
    // whole host process, and leak the running discovery: refuse it.
    if (mReconnectThread.joinable()) {
        DriverLog("Init called again without Cleanup; ignored\n");
        return vr::VRInitError_Init_AlreadyRunning;
    }
    vr::EVRInitError result = vr::VRInitError_Init_Internal;
    const bool completed = gInitBoundary.Run([&] { result = InitSteps(pDriverContext); });
    // Whatever had started before the failure stops again; the devices stay with
    // the runtime, which may hold them already, until Cleanup.
    if (!completed) gInitBoundary.Run([&] { StopStreaming(); });
    return result;
}

vr::EVRInitError cHalvexDeviceProvider::InitSteps(vr::IVRDriverContext* pDriverContext) {
    vr::EVRInitError result = vr::VRInitError_None;
    if (pDriverContext) {
        const vr::EVRInitError contextError = halvex::host::InitServerDriverContext(pDriverContext);
        if (contextError != vr::VRInitError_None) return contextError;
    } else {
        result = vr::VRInitError_Init_NotInitialized;
        // Without any context no host interface can be reached: nothing to run on.
        if (!halvex::host::DriverContext()) return result;
    }

    if (vr::IVRDriverLog* log = halvex::host::DriverLogInterface()) halvex::InstallDriverLogSink(log);
    DriverLog("Initializing Halvex OpenVR Driver - Version %s (changelist: %s)\n", kDriverVersion, kDriverChangelist);
    if (!pDriverContext) DriverLog("WARNING: passed in pDriverContext = nullptr");

    mQpcFrequency = halvex::platform::TickFrequency();
    mQpcFrequencyDouble = static_cast<double>(static_cast<uint64_t>(mQpcFrequency));

    ReadSettings();
    if (mTrackingType == TrackingType_HMDOnly) return vr::VRInitError_Init_NotInitialized;

    CreateDevices();
    StartStreaming();
    return result;
}

void cHalvexDeviceProvider::Cleanup() {
    gCleanupBoundary.Run([&] { StopStreaming(); });
    for (const sSlot& slot : kSlots) {
        cIHalvexDevice* device = this->*slot.device;
        this->*slot.device = nullptr;
        gCleanupBoundary.Run([&] { delete device; });
    }
    halvex::RemoveDriverLogSink();
}

cIHalvexDevice* cHalvexDeviceProvider::SlotDevice(eSemantic slot) const {
    for (const sSlot& s : kSlots)
        if (s.semantic == slot) return this->*s.device;
    return nullptr;
}

void cHalvexDeviceProvider::ReloadRigidBodyIds() {
    vr::IVRSettings* settings = halvex::host::Settings();
    if (!settings) return;
    bool changed = false;
    for (const sSlot& slot : kSlots) {
        vr::EVRSettingsError error = vr::VRSettingsError_None;
        const int32_t id = settings->GetInt32(halvex::kDriverSettingsSection, slot.settingKey, &error);
        const bool enabled = error == vr::VRSettingsError_None && id != 0;
        cIHalvexDevice* device = this->*slot.device;
        const bool running = device && this->*slot.enabled;
        if (enabled != running) {
            DriverLog("Setting %s: %s slot %s takes a restart of the runtime", slot.settingKey,
                      enabled ? "enabling the" : "disabling the", slot.serial);
            continue;
        }
        if (!running || id == (this->*slot.rigidBodyId).load()) continue;
        (this->*slot.rigidBodyId).store(id);
        device->SetRigidBodyId(id);
        DriverLog("%s mRigidBodyID=%d", device->GetName().c_str(), id);
        changed = true;
    }
    if (changed) mResubscribe.store(true);
}

const char* const* cHalvexDeviceProvider::GetInterfaceVersions() { return vr::k_InterfaceVersions; }

void cHalvexDeviceProvider::CreateDevices() {
    for (const sSlot& slot : kSlots) {
        cIHalvexDevice*& device = this->*slot.device;
        if (!(this->*slot.enabled)) {
            if (device) device->SetRigidBodyId(kRigidBodyNone);
            continue;
        }
        if (!device) {
            device = CreateDevice(slot.semantic, slot.serial);
            if (vr::IVRServerDriverHost* host = halvex::host::ServerDriverHost()) {
                host->TrackedDeviceAdded(device->GetSerialNumber().c_str(), vr::TrackedDeviceClass_GenericTracker,
                                         device);
            }
        }
        device->SetRigidBodyId(this->*slot.rigidBodyId);
    }
    for (const sSlot& slot : kSlots) {
        if (cIHalvexDevice* device = this->*slot.device)
            DriverLog("%s mRigidBodyID=%d", device->GetName().c_str(), device->GetRigidBodyId());
    }
}

cIHalvexDevice* cHalvexDeviceProvider::CreateDevice(eSemantic semantic, const char* serial) {
    cIHalvexDevice* device = nullptr;
    switch (DetectHmdTrackingSystem()) {
        case Lighthouse: device = new cHalvexSteamvrDevice(this, semantic, serial); break;
        case Oculus: device = new cHalvexOculusDevice(this, semantic, serial); break;
        case Holographic: device = new cHalvexWmrDevice(this, semantic, serial); break;
        default: device = new cHalvexSteamvrDevice(this, Hmd, "halvex-head"); break;
    }
    DriverLog("Starting %s", device->GetName().c_str());
    return device;
}

eHmdTrackingSystem cHalvexDeviceProvider::DetectHmdTrackingSystem() {
    vr::IVRProperties* properties = halvex::host::Properties();
    const vr::PropertyContainerHandle_t hmd =
        properties ? properties->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd)
                   : vr::k_ulInvalidPropertyContainer;
    const std::string name = halvex::properties::ReadString(hmd, vr::Prop_TrackingSystemName_String);
    if (MatchesLeadingPart(name, "oculus")) return Oculus;
    if (MatchesLeadingPart(name, "holographic")) return Holographic;
    if (MatchesLeadingPart(name, "lighthouse")) return Lighthouse;
    DriverLog("Warning: Unrecognized HMD tracking system '%s'\n", name.c_str());
    return Unknown;
}
