// The simulated server receiving whatever a client sends: each input is one
// datagram from a loopback peer to a running cMocapServer. The server keeps its
// state between inputs (a connect in one input, commands in the next), as it
// would with a real client.
#include "fuzz_support.h"
#include "fuzz_target.h"
#include "tessaly/server/mocap_server.h"
#include "udp_socket.h"
#include "wire_format.h"

#include <memory>

namespace {

using namespace tessaly;

class cClientPeer {
public:
    cClientPeer() {
        server::sMocapServerConfig config;
        config.frameRateHz = 20.0;
        mServer = std::make_unique<server::cMocapServer>(config);
        std::string error;
        if (!mServer->Start(&error)) halvex::fuzz::Fail("server_datagrams", "cannot start the server");
        server::sRigidBodyPose pose;
        pose.position[1] = 1.6f;
        mServer->SetRigidBody(3, pose);
        if (!mSocket.Open(net::sEndpoint{net::kLoopbackAddress, 0}, &error))
            halvex::fuzz::Fail("server_datagrams", "cannot open the peer socket");
        mBuffer.resize(wire::kMaxDatagramSize);
    }
    ~cClientPeer() { mServer->Stop(); }

    void Send(const uint8_t* data, size_t size) {
        const uint64_t before = mServer->Statistics().datagramsReceived;
        const net::sEndpoint to{net::kLoopbackAddress, mServer->Port()};
        if (!mSocket.SendTo(to, data, size)) return;
        halvex::fuzz::WaitUntil([&] { return mServer->Statistics().datagramsReceived > before; }, 0.2);
        // Answers and frames are read and dropped so the socket's queue never fills.
        size_t received = 0;
        net::sEndpoint from;
        for (;;) {
            const net::eReceiveResult r = mSocket.ReceiveFrom(mBuffer.data(), mBuffer.size(), &received, &from, 0);
            if (r != net::eReceiveResult::Datagram && r != net::eReceiveResult::Truncated) break;
        }
    }

private:
    std::unique_ptr<server::cMocapServer> mServer;
    net::cUdpSocket mSocket;
    std::vector<uint8_t> mBuffer;
};

int FuzzServerDatagrams(const uint8_t* data, size_t size) {
    static cClientPeer peer;
    peer.Send(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(server_datagrams, FuzzServerDatagrams);
