// vrhost's service for client programs (a settings utility, through the client
// library): IVRSystem and IVRSettings over loopback TCP, found through the
// registration file in the runtime's state folder. One thread serves every client.
// A client that sends garbage is answered with a refusal (or, for a broken frame,
// dropped); one that vanishes mid-call is forgotten. Events: device activated,
// deactivated, updated (seen by comparing the device view every few milliseconds),
// what PostEvent hands in, and a quit to everyone when the service stops.
#pragma once

#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"
#include "client_link/loopback_stream.h"
#include "vrhost/clients/client_device_view.h"
#include "vrhost/clients/client_requests.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vrhost {

class cSettingsStore;

class cClientService {
public:
    // `settingsFile`: where client changes are written; empty: kept in memory.
    cClientService(cSettingsStore& settings, cIClientDeviceView& devices, std::filesystem::path settingsFile);
    ~cClientService();
    cClientService(const cClientService&) = delete;
    cClientService& operator=(const cClientService&) = delete;

    // Listens and registers. False with a reason when the port cannot be opened, the
    // registration cannot be written, or another live vrhost has registered.
    bool Start(std::string& error);
    // Sends every client a quit, gives them up to `graceMs` to acknowledge or leave,
    // then closes and unregisters.
    void Stop(int graceMs = 1000);
    uint16_t Port() const { return mListener.Port(); }

    // Queued for every client connected when the service thread next runs.
    void PostEvent(const link::sClientEvent& event);
    size_t ClientCount() const { return mClientCount.load(); }

private:
    struct sClient {
        link::cLoopbackStream stream;
        link::cFrameReader reader;
        bool greeted = false;
        bool quitAcknowledged = false;
    };

    void ThreadProc_ServiceThread();
    void ServeOnce(int waitMs);
    // False when the client must be dropped.
    bool ReadFrom(sClient& client);
    bool Send(sClient& client, const std::string& body);
    void Broadcast(const std::string& body);
    void PublishDeviceChanges();

    cClientRequests mRequests;
    cIClientDeviceView& mDevices;
    std::string mSettingsFileText;
    link::cLoopbackListener mListener;
    std::vector<sClient> mClients;  // service thread only
    std::map<vr::TrackedDeviceIndex_t, sClientDeviceState> mKnownDevices;
    std::mutex mPostedMutex;
    std::vector<link::sClientEvent> mPosted;
    std::atomic<bool> mStop{false};
    std::atomic<int> mStopGraceMs{0};
    std::atomic<size_t> mClientCount{0};
    std::thread mThread;
    bool mRegistered = false;
};

}  // namespace vrhost
