#include "core/host_interfaces.h"

#include <atomic>

namespace halvex::host {
namespace {

// Device threads reach for the host while the runtime's thread may still be
// filling a slot, so every slot is atomic.
std::atomic<vr::IVRDriverContext*> gContext{nullptr};
std::atomic<vr::IVRServerDriverHost*> gServerDriverHost{nullptr};
std::atomic<vr::IVRSettings*> gSettings{nullptr};
std::atomic<vr::IVRProperties*> gProperties{nullptr};
std::atomic<vr::IVRDriverLog*> gDriverLog{nullptr};
std::atomic<vr::IVRDriverManager*> gDriverManager{nullptr};
std::atomic<vr::IVRResources*> gResources{nullptr};
std::atomic<vr::IVRIOBuffer*> gIOBuffer{nullptr};

template <typename T>
T* Fetch(std::atomic<T*>& slot, const char* version) {
    T* cached = slot.load(std::memory_order_acquire);
    if (cached) return cached;
    vr::IVRDriverContext* context = gContext.load(std::memory_order_acquire);
    if (!context) return nullptr;
    vr::EVRInitError error = vr::VRInitError_None;
    T* fetched = static_cast<T*>(context->GetGenericInterface(version, &error));
    if (error != vr::VRInitError_None) fetched = nullptr;
    if (fetched) slot.store(fetched, std::memory_order_release);
    return fetched;
}

void ForgetInterfaces() {
    gServerDriverHost.store(nullptr);
    gSettings.store(nullptr);
    gProperties.store(nullptr);
    gDriverLog.store(nullptr);
    gDriverManager.store(nullptr);
    gResources.store(nullptr);
    gIOBuffer.store(nullptr);
}

}  // namespace

vr::EVRInitError InitServerDriverContext(vr::IVRDriverContext* context) {
    // Interfaces handed out by an earlier context are not valid for a new one.
    if (context && gContext.exchange(context, std::memory_order_acq_rel) != context) ForgetInterfaces();
    if (!gContext.load(std::memory_order_acquire)) return vr::VRInitError_Init_NotInitialized;
    bool complete = true;
    complete &= Fetch(gServerDriverHost, vr::IVRServerDriverHost_Version) != nullptr;
    complete &= Fetch(gSettings, vr::IVRSettings_Version) != nullptr;
    Fetch(gProperties, vr::IVRProperties_Version);  // optional at start-up
    complete &= Fetch(gDriverLog, vr::IVRDriverLog_Version) != nullptr;
    complete &= Fetch(gDriverManager, vr::IVRDriverManager_Version) != nullptr;
    complete &= Fetch(gResources, vr::IVRResources_Version) != nullptr;
    return complete ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
}

vr::IVRDriverContext* DriverContext() { return gContext.load(std::memory_order_acquire); }
vr::IVRServerDriverHost* ServerDriverHost() { return Fetch(gServerDriverHost, vr::IVRServerDriverHost_Version); }
vr::IVRSettings* Settings() { return Fetch(gSettings, vr::IVRSettings_Version); }
vr::IVRProperties* Properties() { return Fetch(gProperties, vr::IVRProperties_Version); }
vr::IVRDriverLog* DriverLogInterface() { return Fetch(gDriverLog, vr::IVRDriverLog_Version); }
vr::IVRDriverManager* DriverManager() { return Fetch(gDriverManager, vr::IVRDriverManager_Version); }
vr::IVRResources* Resources() { return Fetch(gResources, vr::IVRResources_Version); }
vr::IVRIOBuffer* IOBuffer() { return Fetch(gIOBuffer, vr::IVRIOBuffer_Version); }

}  // namespace halvex::host
