// The client library's side of the link to a running vrhost. Calls wait for their
// reply at most kCallTimeoutMs, so a runtime that stops answering costs its caller
// a short wait, never a hang. Events that arrive meanwhile are queued for
// PollEvent. A lost connection turns into one quit event, as the runtime's own
// library reports a server that went away.
#pragma once

#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"
#include "client_link/loopback_stream.h"

#include <cstdint>
#include <deque>

namespace openvr_api {

class cClientConnection {
public:
    static constexpr int kConnectTimeoutMs = 500;
    static constexpr int kCallTimeoutMs = 1000;

    bool Connect(uint16_t port);
    bool IsConnected() const { return mStream.IsOpen(); }

    // Sends the request (its id is assigned here) and waits for its reply. False
    // when the connection is lost, the runtime refuses the request or does not answer
    // in time; a silent runtime is dropped, so later calls fail at once.
    bool Call(vrhost::link::sClientRequest& request, vrhost::link::sClientReply& reply);
    // The next event, without waiting.
    bool PollEvent(vrhost::link::sClientEvent& event);
    void Close();

private:
    // Reads what has arrived (waiting up to timeoutMs for the first bytes) and sorts
    // it into events and replies. False once the connection is gone.
    bool Pump(int timeoutMs);
    void Lose();

    vrhost::link::cLoopbackStream mStream;
    vrhost::link::cFrameReader mReader;
    std::deque<vrhost::link::sClientEvent> mEvents;
    std::deque<vrhost::link::sClientReply> mReplies;
    uint32_t mNextId = 1;
    bool mLossReported = false;
};

}  // namespace openvr_api
