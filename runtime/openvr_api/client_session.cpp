#include "openvr_api/client_session.h"

#include "client_link/runtime_registration.h"
#include "client_link/state_folder.h"

#include <cstring>

namespace openvr_api {

using namespace vrhost::link;

cClientSession::~cClientSession() { mConnection.Close(); }

bool cClientSession::ConnectToRunningRuntime(vr::EVRApplicationType type) {
    const std::optional<sRuntimeRegistration> registration = ReadLiveRegistration();
    if (!registration || !mConnection.Connect(registration->port)) return false;
    sClientRequest hello;
    hello.op = eClientOp::Hello;
    hello.applicationType = type;
    sClientReply reply;
    if (!mConnection.Call(hello, reply) || reply.error != vr::VRInitError_None) {
        mConnection.Close();
        return false;
    }
    return true;
}

std::unique_ptr<cClientSession> cClientSession::Open(vr::EVRApplicationType type, vr::EVRInitError& error) {
    std::unique_ptr<cClientSession> session(new cClientSession);
    if (session->ConnectToRunningRuntime(type)) {
        session->mSystem = std::make_unique<cClientSystem>(&session->mConnection);
        session->mConnectedSettings = std::make_unique<cConnectedSettings>(session->mConnection);
        session->mDebug = std::make_unique<cClientDebug>(session->mConnection);
        error = vr::VRInitError_None;
        return session;
    }
    if (type == vr::VRApplication_Background) {
        error = vr::VRInitError_Init_NoServerForBackgroundApp;
        return nullptr;
    }
    if (type != vr::VRApplication_Utility) {
        error = vr::VRInitError_IPC_ConnectFailed;
        return nullptr;
    }
    const std::filesystem::path file = DefaultSettingsFile();
    if (file.empty()) {
        error = vr::VRInitError_Init_NoConfigPath;
        return nullptr;
    }
    std::string reason;
    session->mFileSettings = OpenFileSettings(file, reason);
    if (!session->mFileSettings) {
        error = vr::VRInitError_Init_SettingsInitFailed;
        return nullptr;
    }
    session->mSystem = std::make_unique<cClientSystem>(nullptr);
    error = vr::VRInitError_None;
    return session;
}

void* cClientSession::Interface(const char* version) {
    if (!version) return nullptr;
    if (std::strcmp(version, vr::IVRSystem_Version) == 0) return static_cast<vr::IVRSystem*>(mSystem.get());
    if (std::strcmp(version, vr::IVRSettings_Version) == 0) {
        if (mConnectedSettings) return static_cast<vr::IVRSettings*>(mConnectedSettings.get());
        return mFileSettings ? mFileSettings->Interface() : nullptr;
    }
    if (std::strcmp(version, vr::IVRDebug_Version) == 0) return mDebug ? static_cast<vr::IVRDebug*>(mDebug.get()) : nullptr;
    return nullptr;
}

}  // namespace openvr_api
