// One initialisation of the client library: connected to a running vrhost, or, for
// a utility with no runtime running, working on the runtime's settings file.
//   Background: only a running runtime will do (VRInitError_Init_NoServerForBackgroundApp).
//   Utility:    a running runtime, else the settings file.
//   Any other:  a running runtime (VRInitError_IPC_ConnectFailed without one; unlike the
//               runtime's own library, this one does not start a runtime).
#pragma once

#include "openvr_api/client_connection.h"
#include "openvr_api/client_debug.h"
#include "openvr_api/client_system.h"
#include "openvr_api/connected_settings.h"
#include "openvr_api/file_settings.h"

#include <openvr.h>

#include <memory>

namespace openvr_api {

class cClientSession {
public:
    static std::unique_ptr<cClientSession> Open(vr::EVRApplicationType type, vr::EVRInitError& error);
    ~cClientSession();

    bool IsConnected() const { return mConnection.IsConnected(); }
    // Null for a version this library does not offer.
    void* Interface(const char* version);

private:
    cClientSession() = default;
    bool ConnectToRunningRuntime(vr::EVRApplicationType type);

    cClientConnection mConnection;
    std::unique_ptr<cClientSystem> mSystem;
    std::unique_ptr<cConnectedSettings> mConnectedSettings;
    std::unique_ptr<cClientDebug> mDebug;  // only with a running runtime
    std::unique_ptr<cIFileSettings> mFileSettings;
};

}  // namespace openvr_api
