// Finding the server and keeping the connection honest: connect to the first
// discovered server that passes the address filters; restart the search when the
// stream goes silent, nothing is running, or a search has long found nothing.
#include "core/callback_boundary.h"
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "platform/sleep.h"
#include "platform/thread_name.h"

#include <chrono>
#include <cstring>

namespace {

halvex::cCallbackBoundary gDiscoveryBoundary("the server discovery callback");
halvex::cCallbackBoundary gWatchdogBoundary("the reconnect watchdog");

void DiscoveryCallback(const sDiscoveredServer* server, void* context) {
    gDiscoveryBoundary.Run([&] { static_cast<cHalvexDeviceProvider*>(context)->OnServerDiscovered(server); });
}

// The record's text fields are fixed 16-byte buffers: never read past them.
std::string FixedText(const char (&field)[16]) { return std::string(field, strnlen(field, sizeof(field))); }

constexpr double kStaleSeconds = 5.0;

}  // namespace

void cHalvexDeviceProvider::StartStreaming() {
    Tessaly_SetLogCallback(TessalyLogCallback);
    StartDiscovery();
    mStopReconnect.store(false);
    mReconnectThread = std::thread([this] { ReconnectThreadProc(); });
    halvex::platform::NameThread(mReconnectThread, "halvex-watchdog");
}

void cHalvexDeviceProvider::StopStreaming() {
    EndDiscovery();
    if (mReconnectThread.joinable()) {
        mStopReconnect.store(true);
        mReconnectThread.join();
    }
    // The watchdog may have seen "no discovery, no client" in the moment before it
    // was stopped and started a new search: end that one too.
    EndDiscovery();
    TeardownClient();
}

bool cHalvexDeviceProvider::StartDiscovery() {
    TessalyDiscoveryHandle handle = nullptr;
    const ErrorCode error = mStartDiscoveryCall(&handle, DiscoveryCallback, this);
    if (error != ErrorCode_OK || !handle) {
        // Not marked running, so the watchdog's next turn tries again.
        DriverLog("Tessaly server discovery could not be started (error code %d)\n", static_cast<int>(error));
        return false;
    }
    mDiscovery.store(handle);
    mDiscoveryStartedAt.store(DriverTimeNow());
    mDiscoveryRunning.store(true);
    return true;
}

void cHalvexDeviceProvider::EndDiscovery() {
    // The frame thread and Cleanup may both get here: whoever takes the handle frees it.
    if (TessalyDiscoveryHandle handle = mDiscovery.exchange(nullptr)) Tessaly_FreeAsyncServerDiscovery(handle);
    mDiscoveryRunning.store(false);
}

void cHalvexDeviceProvider::OnServerDiscovered(const sDiscoveredServer* server) {
    if (!server || mClient.load()) return;
    const std::string serverAddress = FixedText(server->serverAddress);
    const std::string localAddress = FixedText(server->localAddress);
    if (!mServerAddress.empty() && mServerAddress != serverAddress) return;
    if (!mLocalAddress.empty() && mLocalAddress != localAddress) return;
    DriverLog("Corvane server discovered, auto-connecting...\n");

    sTessalyClientConnectParams params{};
    params.connectionType = server->multicast ? ConnectionType_Multicast : ConnectionType_Unicast;
    params.serverCommandPort = 0;
    params.serverDataPort = 0;
    params.serverAddress = serverAddress.c_str();
    params.localAddress = localAddress.c_str();
    params.multicastAddress = nullptr;
    params.subscribedDataOnly = false;
    ConnectTessaly(params);
}

bool cHalvexDeviceProvider::ClientIsStale() const {
    // The order matters: ConnectTessaly raises mConnecting before it stores the
    // client and lowers it only after stamping mLastFrameTime.
    if (!mClient.load() || mConnecting.load()) return false;
    const double sinceLastFrame = DriverTimeNow() - mLastFrameTime.load();
    return sinceLastFrame > kStaleSeconds || sinceLastFrame < -kStaleSeconds;
}

bool cHalvexDeviceProvider::SearchIsDue() const {
    if (!mDiscoveryRunning.load() || mClient.load()) return false;
    return DriverTimeNow() - mDiscoveryStartedAt.load() > mDiscoveryRenewSeconds;
}

void cHalvexDeviceProvider::ReconnectThreadProc() {
    while (!mStopReconnect.load()) {
        bool sleep = true;
        gWatchdogBoundary.Run([&] {
            if (!mDiscoveryRunning.load() && !mClient.load()) {
                DriverLog("Tessaly reconnect logic idle. Restarting discovery.\n");
                // A discovery that could not start is retried after a period, not at once.
                sleep = !StartDiscovery();
            } else if (ClientIsStale()) {
                // Also a client that was accepted but never delivered a frame: the
                // discovery still runs then, and ignores every report while a client exists.
                DriverLog("Tessaly frame timestamp is stale. Restarting discovery.\n");
                TeardownClient();
                EndDiscovery();
                StartDiscovery();
            } else if (SearchIsDue()) {
                // Silent: searching for a server that is not there is no news.
                EndDiscovery();
                sleep = !StartDiscovery();
            } else if (mResubscribe.load() && !mConnecting.load()) {
                // A reload changed an ID (stored before the flag was raised). A client being
                // set up may have read the old one: the flag waits for the next turn then.
                mResubscribe.store(false);
                if (TessalyClient* client = mClient.load()) {
                    DriverLog("Rigid body IDs reloaded: subscribing anew\n");
                    SubscribeRigidBodies(client);
                }
            }
        });
        if (sleep) {
            // Sliced so that Cleanup's join does not wait out a whole period.
            const auto wake = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (!mStopReconnect.load() && std::chrono::steady_clock::now() < wake) {
                halvex::platform::SleepUntil(
                    std::min(wake, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
            }
        }
    }
}
