// Finding the server and keeping the connection honest: connect to the first
// discovered server that passes the address filters; restart the search when the
// stream goes silent or nothing is running.
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "platform/sleep.h"

#include <chrono>
#include <cstring>

namespace {

void DiscoveryCallback(const sDiscoveredServer* server, void* context) {
    static_cast<cHalvexDeviceProvider*>(context)->OnServerDiscovered(server);
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

void cHalvexDeviceProvider::StartDiscovery() {
    TessalyDiscoveryHandle handle = nullptr;
    Tessaly_CreateAsyncServerDiscovery(&handle, DiscoveryCallback, this);
    mDiscovery.store(handle);
    mDiscoveryRunning.store(true);
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

void cHalvexDeviceProvider::ReconnectThreadProc() {
    while (!mStopReconnect.load()) {
        bool sleep = true;
        if (!mDiscoveryRunning.load()) {
            if (!mClient.load()) {
                DriverLog("Tessaly reconnect logic idle. Restarting discovery.\n");
                StartDiscovery();
                sleep = false;
            } else {
                const double sinceLastFrame = DriverTimeNow() - mLastFrameTime.load();
                if (sinceLastFrame > kStaleSeconds || sinceLastFrame < -kStaleSeconds) {
                    DriverLog("Tessaly frame timestamp is stale. Restarting discovery.\n");
                    TeardownClient();
                    StartDiscovery();
                }
            }
        }
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
