// The functions the client library exports, with the runtime's own library's names,
// so that a program built against either runs with both.
#define VR_API_EXPORT 1
#include <openvr.h>

#include "openvr_api/client_session.h"
#include "openvr_api/init_error_text.h"
#include "openvr_api/library_lock.h"

#include "client_link/runtime_registration.h"
#include "client_link/state_folder.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace openvr_api {
namespace {

std::unique_ptr<cClientSession> gSession;
// Changes with every init and shutdown, so that cached interface pointers are fetched anew.
uint32_t gInitToken = 0;

}  // namespace

std::mutex& LibraryMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace openvr_api

using openvr_api::LibraryMutex;

uint32_t VR_CALLTYPE vr::VR_InitInternal2(EVRInitError* peError, EVRApplicationType eApplicationType,
                                          const char* /*pStartupInfo*/) {
    EVRInitError error = VRInitError_None;
    std::unique_ptr<openvr_api::cClientSession> session = openvr_api::cClientSession::Open(eApplicationType, error);
    std::lock_guard<std::mutex> lock(LibraryMutex());
    openvr_api::gSession = std::move(session);
    ++openvr_api::gInitToken;
    if (peError) *peError = error;
    return openvr_api::gInitToken;
}

void VR_CALLTYPE vr::VR_ShutdownInternal() {
    std::unique_ptr<openvr_api::cClientSession> session;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        session = std::move(openvr_api::gSession);
        ++openvr_api::gInitToken;
    }
}

bool VR_CALLTYPE vr::VR_IsHmdPresent() {
    // Asks the runtime when one runs; without one there is no headset to be had.
    if (!vrhost::link::ReadLiveRegistration()) return false;
    EVRInitError error = VRInitError_None;
    std::unique_ptr<openvr_api::cClientSession> probe =
        openvr_api::cClientSession::Open(VRApplication_Background, error);
    if (!probe) return false;
    auto* system = static_cast<IVRSystem*>(probe->Interface(IVRSystem_Version));
    return system && system->GetTrackedDeviceClass(k_unTrackedDeviceIndex_Hmd) == TrackedDeviceClass_HMD;
}

void* VR_CALLTYPE vr::VR_GetGenericInterface(const char* pchInterfaceVersion, EVRInitError* peError) {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (!openvr_api::gSession) {
        if (peError) *peError = VRInitError_Init_NotInitialized;
        return nullptr;
    }
    void* found = openvr_api::gSession->Interface(pchInterfaceVersion);
    if (peError) *peError = found ? VRInitError_None : VRInitError_Init_InterfaceNotFound;
    return found;
}

bool VR_CALLTYPE vr::VR_IsInterfaceVersionValid(const char* pchInterfaceVersion) {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    return openvr_api::gSession && openvr_api::gSession->Interface(pchInterfaceVersion) != nullptr;
}

uint32_t VR_CALLTYPE vr::VR_GetInitToken() {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    return openvr_api::gInitToken;
}

bool VR_CALLTYPE vr::VR_IsRuntimeInstalled() { return !vrhost::link::RuntimeStateFolder().empty(); }

bool vr::VR_GetRuntimePath(char* pchPathBuffer, uint32_t unBufferSize, uint32_t* punRequiredBufferSize) {
    // The stand-in runtime's folder is its state folder, where a running vrhost registers.
    const std::filesystem::path folder = vrhost::link::RuntimeStateFolder();
    const std::string path = folder.u8string();
    const auto required = static_cast<uint32_t>(path.size() + 1);
    if (punRequiredBufferSize) *punRequiredBufferSize = folder.empty() ? 0 : required;
    if (folder.empty()) return false;
    if (!pchPathBuffer || unBufferSize < required) return false;
    std::memcpy(pchPathBuffer, path.c_str(), required);
    return true;
}

const char* VR_CALLTYPE vr::VR_GetVRInitErrorAsSymbol(EVRInitError error) {
    const char* symbol = openvr_api::InitErrorSymbol(error);
    return symbol ? symbol : "Unknown error";
}

const char* VR_CALLTYPE vr::VR_GetVRInitErrorAsEnglishDescription(EVRInitError error) {
    // The texts live as long as the library: callers keep the pointer.
    static std::mutex mutex;
    static std::map<int, std::string> texts;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = texts.find(error);
    if (it == texts.end()) it = texts.emplace(error, openvr_api::InitErrorDescription(error)).first;
    return it->second.c_str();
}
