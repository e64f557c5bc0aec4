// Fuzz entry point of the datagram parser. Besides not crashing, every datagram
// the parser accepts must re-encode to exactly the same bytes: one message, one
// encoding, so nothing outside the checked fields can ride along.
#include "fuzz_target.h"
#include "wire_format.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace tessaly::wire;

std::vector<uint8_t> Reencode(const sDatagram& d) {
    std::vector<uint8_t> out;
    const sHeader& h = d.header;
    switch (h.type) {
        case eMessageType::DiscoveryProbe: EncodeDiscoveryProbe(out, h.token, h.sequence); break;
        case eMessageType::DiscoveryAnswer: EncodeDiscoveryAnswer(out, h, d.serverInfo); break;
        case eMessageType::ConnectRequest:
            EncodeConnectRequest(out, h.token, h.sequence, d.connectionType, d.subscribedDataOnly);
            break;
        case eMessageType::ConnectAnswer: EncodeConnectAnswer(out, h.token, h.sequence, d.result, d.serverInfo); break;
        case eMessageType::CommandRequest:
            EncodeCommandRequest(out, h.token, h.sequence, std::string(d.command, d.commandLength).c_str());
            break;
        case eMessageType::CommandResponse:
            EncodeCommandResponse(out, h.token, h.sequence, d.result, d.hasResponse, d.response, d.responseSize);
            break;
        case eMessageType::ClockSyncRequest: EncodeClockSyncRequest(out, h.token, h.sequence, d.clientStamp); break;
        case eMessageType::ClockSyncAnswer:
            EncodeClockSyncAnswer(out, h.token, h.sequence, d.clientStamp, d.serverTicks);
            break;
        case eMessageType::Frame: {
            std::vector<sRigidBody> bodies;
            for (size_t i = 0; i < d.frame.rigidBodyCount; ++i) bodies.push_back(DecodeRigidBody(d, i));
            EncodeFrame(out, h.token, h.sequence, d.frame, bodies.data(), bodies.size());
            break;
        }
        case eMessageType::Disconnect: EncodeDisconnect(out, h.token, h.sequence); break;
    }
    return out;
}

int FuzzDatagramParser(const uint8_t* data, size_t size) {
    sDatagram datagram;
    if (ParseDatagram(data, size, &datagram) != eParseResult::Ok) return 0;
    const std::vector<uint8_t> again = Reencode(datagram);
    if (again.size() != size || !std::equal(again.begin(), again.end(), data))
        halvex::fuzz::Fail("datagram_parser", "an accepted datagram re-encodes differently");
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(datagram_parser, FuzzDatagramParser);
