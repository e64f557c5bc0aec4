#include "vrhost/clients/client_service.h"

#include "client_link/frame_codec.h"
#include "client_link/process_identity.h"
#include "client_link/runtime_registration.h"
#include "platform/thread_name.h"

#include <chrono>

namespace vrhost {

using namespace link;

namespace {

// How long the thread waits for a client between looks at the devices.
constexpr int kServiceWaitMs = 10;
// A client that does not take a reply within this long is dropped.
constexpr int kSendTimeoutMs = 200;
constexpr size_t kMaxClients = 16;

}  // namespace

cClientService::cClientService(cSettingsStore& settings, cIClientDeviceView& devices,
                               std::filesystem::path settingsFile)
    : mRequests(settings, devices, settingsFile), mDevices(devices), mSettingsFileText(settingsFile.u8string()) {}

cClientService::~cClientService() { Stop(0); }

bool cClientService::Start(std::string& error) {
    if (mThread.joinable()) return true;
    if (const auto running = ReadLiveRegistration(); running && running->pid != CurrentProcessId()) {
        error = "another vrhost (process " + std::to_string(running->pid) + ") serves client programs";
        return false;
    }
    if (!mListener.Listen()) {
        error = "cannot listen on a loopback port for client programs";
        return false;
    }
    sRuntimeRegistration registration;
    registration.pid = CurrentProcessId();
    registration.port = mListener.Port();
    registration.settingsFile = mSettingsFileText;
    if (!WriteRegistration(registration, error)) {
        mListener.Close();
        return false;
    }
    mRegistered = true;
    // Devices present before the start are not news.
    for (const sClientDeviceState& device : mDevices.Devices()) mKnownDevices[device.index] = device;
    mStop.store(false);
    mThread = std::thread(&cClientService::ThreadProc_ServiceThread, this);
    halvex::platform::NameThread(mThread, "vrhost-clients");
    return true;
}

void cClientService::Stop(int graceMs) {
    if (mThread.joinable()) {
        mStopGraceMs.store(graceMs);
        mStop.store(true);
        mThread.join();
    }
    if (mRegistered) RemoveRegistration(CurrentProcessId());
    mRegistered = false;
    mListener.Close();
}

void cClientService::PostEvent(const sClientEvent& event) {
    std::lock_guard<std::mutex> lock(mPostedMutex);
    mPosted.push_back(event);
}

void cClientService::ThreadProc_ServiceThread() {
    while (!mStop.load()) ServeOnce(kServiceWaitMs);

    // The runtime is going away: tell every client, and let them answer or leave.
    sClientEvent quit;
    quit.type = vr::VREvent_Quit;
    quit.device = vr::k_unTrackedDeviceIndexInvalid;
    quit.pid = CurrentProcessId();
    Broadcast(EncodeEvent(quit));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(mStopGraceMs.load());
    while (std::chrono::steady_clock::now() < deadline) {
        bool waiting = false;
        for (const sClient& client : mClients) waiting = waiting || !client.quitAcknowledged;
        if (!waiting) break;
        ServeOnce(kServiceWaitMs);
    }
    mClients.clear();
    mClientCount.store(0);
}

void cClientService::ServeOnce(int waitMs) {
    std::vector<intptr_t> handles{mListener.Handle()};
    for (const sClient& client : mClients) handles.push_back(client.stream.Handle());
    const std::vector<bool> readable = WaitReadable(handles, waitMs);

    // Clients first: the indices of `readable` follow mClients as it was.
    std::vector<sClient> kept;
    for (size_t i = 0; i < mClients.size(); ++i) {
        if (!readable[i + 1] || ReadFrom(mClients[i])) kept.push_back(std::move(mClients[i]));
    }
    mClients = std::move(kept);
    if (readable[0] && !mStop.load()) {
        cLoopbackStream stream = mListener.Accept(0);
        if (stream.IsOpen() && mClients.size() < kMaxClients) {
            sClient client;
            client.stream = std::move(stream);
            mClients.push_back(std::move(client));
        }
    }
    PublishDeviceChanges();
    std::vector<sClientEvent> posted;
    {
        std::lock_guard<std::mutex> lock(mPostedMutex);
        posted.swap(mPosted);
    }
    for (const sClientEvent& event : posted) Broadcast(EncodeEvent(event));
    mClientCount.store(mClients.size());
}

bool cClientService::ReadFrom(sClient& client) {
    char buffer[4096];
    size_t received = 0;
    const eIoResult result = client.stream.Receive(buffer, sizeof(buffer), received, 0);
    if (result == eIoResult::Closed) return false;
    if (result == eIoResult::Timeout) return true;
    client.reader.Append(buffer, received);
    std::string body;
    for (;;) {
        const cFrameReader::eNext next = client.reader.Next(body);
        if (next == cFrameReader::eNext::NeedMore) return true;
        if (next == cFrameReader::eNext::Invalid) {
            // The stream cannot be resynchronised: say why, then part.
            sClientReply refusal;
            refusal.refused = true;
            refusal.refusal = "frame length out of range";
            Send(client, EncodeReply(refusal));
            return false;
        }
        sClientRequest request;
        std::string error;
        sClientReply reply;
        if (!DecodeRequest(body, request, error)) {
            reply.id = request.id;
            reply.refused = true;
            reply.refusal = error;
        } else {
            reply = mRequests.Answer(request, client.greeted);
            if (request.op == eClientOp::Hello && !reply.refused) client.greeted = true;
            if (request.op == eClientOp::AcknowledgeQuit) client.quitAcknowledged = true;
        }
        if (!Send(client, EncodeReply(reply))) return false;
    }
}

bool cClientService::Send(sClient& client, const std::string& body) {
    const std::string frame = EncodeFrame(body);
    return client.stream.SendAll(frame.data(), frame.size(), kSendTimeoutMs) == eIoResult::Done;
}

void cClientService::Broadcast(const std::string& body) {
    std::vector<sClient> kept;
    for (sClient& client : mClients) {
        // Only clients that have said hello are listening for events.
        if (!client.greeted || Send(client, body)) kept.push_back(std::move(client));
    }
    mClients = std::move(kept);
}

void cClientService::PublishDeviceChanges() {
    std::map<vr::TrackedDeviceIndex_t, sClientDeviceState> now;
    for (const sClientDeviceState& device : mDevices.Devices()) now[device.index] = device;
    const auto publish = [&](uint32_t type, vr::TrackedDeviceIndex_t index) {
        sClientEvent event;
        event.type = type;
        event.device = index;
        Broadcast(EncodeEvent(event));
    };
    for (const auto& [index, device] : now) {
        const auto known = mKnownDevices.find(index);
        if (known == mKnownDevices.end()) {
            publish(vr::VREvent_TrackedDeviceActivated, index);
        } else if (!(known->second == device)) {
            publish(vr::VREvent_TrackedDeviceUpdated, index);
        }
    }
    for (const auto& [index, device] : mKnownDevices) {
        if (now.find(index) == now.end()) publish(vr::VREvent_TrackedDeviceDeactivated, index);
    }
    mKnownDevices = std::move(now);
}

}  // namespace vrhost
