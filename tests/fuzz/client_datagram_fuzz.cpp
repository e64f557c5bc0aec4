// The client library receiving whatever a server sends. A peer on loopback plays
// the server just well enough to be connected to (connect and clock answers),
// then sends each input as one datagram from the server's own endpoint. Frames
// that get through must reach the callback within the record's bounds.
#include "TessalyClient.h"
#include "fuzz_support.h"
#include "fuzz_target.h"
#include "udp_socket.h"
#include "wire_format.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace tessaly;

constexpr uint64_t kPeerClockFrequency = 1000000000;
constexpr int32_t kFrameCapacity =
    static_cast<int32_t>(sizeof(sFrameOfMocapData::RigidBodies) / sizeof(sFrameOfMocapData::RigidBodies[0]));

uint64_t PeerTicksNow() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

class cServerPeer {
public:
    cServerPeer() {
        std::string error;
        if (!mSocket.Open(net::sEndpoint{net::kLoopbackAddress, 0}, &error))
            halvex::fuzz::Fail("client_datagrams", "cannot open the peer socket");
        mThread = std::thread([this] { ThreadProc_Answer(); });

        sTessalyClientConnectParams params{};
        params.connectionType = ConnectionType_Unicast;
        params.serverCommandPort = mSocket.LocalEndpoint().port;
        params.serverAddress = "127.0.0.1";
        params.localAddress = "127.0.0.1";
        mClient.SetFrameReceivedCallback(&cServerPeer::OnFrame, this);
        if (mClient.Connect(params) != ErrorCode_OK) halvex::fuzz::Fail("client_datagrams", "cannot connect");
    }
    ~cServerPeer() {
        mClient.Disconnect();
        mStop.store(true);
        mThread.join();
    }

    void Send(const uint8_t* data, size_t size) {
        halvex::fuzz::sSteeredDatagram input = halvex::fuzz::SplitControlByte(data, size);
        if (input.control & 1) halvex::fuzz::PatchLittleEndian(input.bytes, halvex::fuzz::kTokenOffset, mToken.load());
        sTessalyStatistics before{};
        mClient.GetStatistics(&before);
        if (!mSocket.SendTo(ClientEndpoint(), input.bytes.data(), input.bytes.size())) return;
        // Empty and oversized datagrams may never arrive; anything else is counted.
        halvex::fuzz::WaitUntil(
            [&] {
                sTessalyStatistics now{};
                mClient.GetStatistics(&now);
                return now.datagramsReceived > before.datagramsReceived;
            },
            0.2);
    }

private:
    net::sEndpoint ClientEndpoint() const {
        return net::sEndpoint{net::kLoopbackAddress, mClientPort.load()};
    }

    static void OnFrame(sFrameOfMocapData* frame, void*) {
        if (frame->nRigidBodies < 0 || frame->nRigidBodies > kFrameCapacity)
            halvex::fuzz::Fail("client_datagrams", "frame record count outside the record");
        for (int32_t i = 0; i < frame->nRigidBodies; ++i) {
            const sRigidBodyData& body = frame->RigidBodies[i];
            for (float v : {body.x, body.y, body.z, body.qx, body.qy, body.qz, body.qw})
                if (!std::isfinite(v)) halvex::fuzz::Fail("client_datagrams", "a non-finite pose reached the callback");
        }
    }

    void ThreadProc_Answer() {
        std::vector<uint8_t> buffer(wire::kMaxDatagramSize);
        std::vector<uint8_t> answer;
        while (!mStop.load()) {
            size_t size = 0;
            net::sEndpoint from;
            if (mSocket.ReceiveFrom(buffer.data(), buffer.size(), &size, &from, 20) != net::eReceiveResult::Datagram)
                continue;
            wire::sDatagram request;
            if (wire::ParseDatagram(buffer.data(), size, &request) != wire::eParseResult::Ok) continue;
            const wire::sHeader& h = request.header;
            switch (h.type) {
                case wire::eMessageType::ConnectRequest: {
                    wire::sServerInfo info;
                    info.port = mSocket.LocalEndpoint().port;
                    info.clockFrequency = kPeerClockFrequency;
                    std::strcpy(info.name, "fuzz peer");
                    mToken.store(h.token);
                    mClientPort.store(from.port);
                    wire::EncodeConnectAnswer(answer, h.token, h.sequence, 0, info);
                    break;
                }
                case wire::eMessageType::ClockSyncRequest:
                    wire::EncodeClockSyncAnswer(answer, h.token, h.sequence, request.clientStamp, PeerTicksNow());
                    break;
                case wire::eMessageType::CommandRequest:
                    wire::EncodeCommandResponse(answer, h.token, h.sequence, 0, false, nullptr, 0);
                    break;
                default: continue;
            }
            mSocket.SendTo(from, answer.data(), answer.size());
        }
    }

    net::cUdpSocket mSocket;
    std::atomic<bool> mStop{false};
    std::thread mThread;
    std::atomic<uint64_t> mToken{0};
    std::atomic<uint16_t> mClientPort{0};
    TessalyClient mClient;
};

int FuzzClientDatagrams(const uint8_t* data, size_t size) {
    static cServerPeer peer;
    peer.Send(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(client_datagrams, FuzzClientDatagrams);
