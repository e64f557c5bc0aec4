// The discovery receiving whatever answers its probes. A loopback peer is the one
// probe target; it learns the probe's nonce and sends each input as an answer.
// Reports must hold terminated texts, and the driver's address filter reads them.
#include "TessalyClient.h"
#include "core/device_provider.h"
#include "fuzz_support.h"
#include "fuzz_target.h"
#include "udp_socket.h"
#include "wire_format.h"

#include <atomic>
#include <cstring>

namespace {

using namespace tessaly;

constexpr size_t kServerPortOffset = wire::kHeaderSize;  // first field of the server info

bool Terminated(const char* text, size_t width) { return std::memchr(text, '\0', width) != nullptr; }

class cDiscoveryPeer {
public:
    cDiscoveryPeer() {
        std::string error;
        if (!mSocket.Open(net::sEndpoint{net::kLoopbackAddress, 0}, &error))
            halvex::fuzz::Fail("discovery_replies", "cannot open the peer socket");
        halvex::fuzz::SetEnvironment("TESSALY_DISCOVERY_ADDRESSES",
                                     "127.0.0.1:" + std::to_string(mSocket.LocalEndpoint().port));
        halvex::fuzz::SetEnvironment("TESSALY_DISCOVERY_LOCAL_ADDRESSES", "127.0.0.1");
        // Reports reach the driver's filter, which refuses them: nothing connects.
        mProvider.mServerAddress = "127.0.0.254";
        if (Tessaly_CreateAsyncServerDiscovery(&mDiscovery, &cDiscoveryPeer::OnServer, this) != ErrorCode_OK)
            halvex::fuzz::Fail("discovery_replies", "cannot start a discovery");
        std::vector<uint8_t> buffer(wire::kMaxDatagramSize);
        size_t size = 0;
        wire::sDatagram probe;
        for (int tries = 0; tries < 100; ++tries) {
            if (mSocket.ReceiveFrom(buffer.data(), buffer.size(), &size, &mDiscoveryEndpoint, 100) ==
                    net::eReceiveResult::Datagram &&
                wire::ParseDatagram(buffer.data(), size, &probe) == wire::eParseResult::Ok &&
                probe.header.type == wire::eMessageType::DiscoveryProbe) {
                mNonce = probe.header.token;
                return;
            }
        }
        halvex::fuzz::Fail("discovery_replies", "no probe arrived");
    }
    ~cDiscoveryPeer() { Tessaly_FreeAsyncServerDiscovery(mDiscovery); }

    void Send(const uint8_t* data, size_t size) {
        halvex::fuzz::sSteeredDatagram input = halvex::fuzz::SplitControlByte(data, size);
        if (input.control & 1) halvex::fuzz::PatchLittleEndian(input.bytes, halvex::fuzz::kTokenOffset, mNonce);
        if (input.control & 2)
            halvex::fuzz::PatchLittleEndian(input.bytes, kServerPortOffset, mSocket.LocalEndpoint().port);
        sTessalyStatistics before{};
        Tessaly_GetDiscoveryStatistics(mDiscovery, &before);
        if (!mSocket.SendTo(mDiscoveryEndpoint, input.bytes.data(), input.bytes.size())) return;
        halvex::fuzz::WaitUntil(
            [&] {
                sTessalyStatistics now{};
                Tessaly_GetDiscoveryStatistics(mDiscovery, &now);
                return now.datagramsReceived > before.datagramsReceived;
            },
            0.2);
    }

private:
    static void OnServer(const sDiscoveredServer* server, void* context) {
        if (!Terminated(server->localAddress, sizeof server->localAddress) ||
            !Terminated(server->serverAddress, sizeof server->serverAddress) ||
            !Terminated(server->serverName, sizeof server->serverName) ||
            !Terminated(server->serverApp, sizeof server->serverApp))
            halvex::fuzz::Fail("discovery_replies", "a report holds an unterminated text");
        static_cast<cDiscoveryPeer*>(context)->mProvider.OnServerDiscovered(server);
    }

    net::cUdpSocket mSocket;
    net::sEndpoint mDiscoveryEndpoint;
    uint64_t mNonce = 0;
    cHalvexDeviceProvider mProvider;
    TessalyDiscoveryHandle mDiscovery = nullptr;
};

int FuzzDiscoveryReplies(const uint8_t* data, size_t size) {
    static cDiscoveryPeer peer;
    peer.Send(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(discovery_replies, FuzzDiscoveryReplies);
