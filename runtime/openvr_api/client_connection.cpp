#include "openvr_api/client_connection.h"

#include "client_link/process_identity.h"

#include <openvr.h>

#include <chrono>

namespace openvr_api {

using namespace vrhost::link;

bool cClientConnection::Connect(uint16_t port) {
    Close();
    mLossReported = false;
    return mStream.Connect(port, kConnectTimeoutMs);
}

void cClientConnection::Close() {
    mStream.Close();
    mReader = cFrameReader();
    mEvents.clear();
    mReplies.clear();
}

void cClientConnection::Lose() {
    mStream.Close();
    mReplies.clear();
    if (mLossReported) return;
    mLossReported = true;
    sClientEvent quit;
    quit.type = vr::VREvent_Quit;
    quit.device = vr::k_unTrackedDeviceIndexInvalid;
    quit.pid = CurrentProcessId();
    quit.connectionLost = true;
    mEvents.push_back(quit);
}

bool cClientConnection::Pump(int timeoutMs) {
    char buffer[4096];
    size_t received = 0;
    const eIoResult result = mStream.Receive(buffer, sizeof(buffer), received, timeoutMs);
    if (result == eIoResult::Closed) {
        Lose();
        return false;
    }
    if (result == eIoResult::Timeout) return true;
    mReader.Append(buffer, received);
    std::string body;
    for (;;) {
        const cFrameReader::eNext next = mReader.Next(body);
        if (next == cFrameReader::eNext::NeedMore) return true;
        sClientReply reply;
        sClientEvent event;
        const eServerMessage kind =
            next == cFrameReader::eNext::Frame ? DecodeServerMessage(body, reply, event) : eServerMessage::Invalid;
        if (kind == eServerMessage::Invalid) {
            // Nothing after a garbled message can be trusted.
            Lose();
            return false;
        }
        if (kind == eServerMessage::Event) {
            mEvents.push_back(event);
        } else {
            mReplies.push_back(reply);
        }
    }
}

bool cClientConnection::Call(sClientRequest& request, sClientReply& reply) {
    if (!mStream.IsOpen()) return false;
    request.id = mNextId++;
    const std::string frame = EncodeFrame(EncodeRequest(request));
    if (mStream.SendAll(frame.data(), frame.size(), kCallTimeoutMs) != eIoResult::Done) {
        Lose();
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCallTimeoutMs);
    for (;;) {
        while (!mReplies.empty()) {
            sClientReply next = mReplies.front();
            mReplies.pop_front();
            // Replies to calls that timed out earlier are never waited for again.
            if (next.id != request.id) continue;
            reply = next;
            return !reply.refused;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            Lose();
            return false;
        }
        if (!Pump(static_cast<int>(left))) return false;
    }
}

bool cClientConnection::PollEvent(sClientEvent& event) {
    if (mEvents.empty() && mStream.IsOpen()) Pump(0);
    if (mEvents.empty()) return false;
    event = mEvents.front();
    mEvents.pop_front();
    return true;
}

}  // namespace openvr_api
