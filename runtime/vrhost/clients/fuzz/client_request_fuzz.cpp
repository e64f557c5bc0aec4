// Fuzz entry point of what a client program can send vrhost: bytes on the stream, cut
// into frames, decoded and answered as the service does. Besides not crashing, every
// request the decoder accepts must encode back to a request that decodes the same,
// and every answer must be a reply the client library can read.
#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"
#include "vrhost/clients/client_requests.h"
#include "vrhost/interfaces/settings_store.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace vrhost::link;

// A runtime with no devices: the device queries still go through their checks.
class cNoDevices final : public vrhost::cIClientDeviceView {
public:
    std::vector<vrhost::sClientDeviceState> Devices() override { return {}; }
    vr::ETrackedPropertyError ReadProperty(vr::TrackedDeviceIndex_t, vr::ETrackedDeviceProperty,
                                           vr::PropertyTypeTag_t&, std::string&) override {
        return vr::TrackedProp_InvalidDevice;
    }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void AnswerOne(vrhost::cClientRequests& requests, const std::string& body, bool& greeted) {
    sClientRequest request;
    std::string error;
    if (!DecodeRequest(body, request, error)) return;
    sClientRequest again;
    Check(DecodeRequest(EncodeRequest(request), again, error));
    Check(EncodeRequest(again) == EncodeRequest(request));
    const sClientReply reply = requests.Answer(request, greeted);
    if (request.op == eClientOp::Hello && !reply.refused) greeted = true;
    sClientReply read;
    sClientEvent event;
    Check(DecodeServerMessage(EncodeReply(reply), read, event) == eServerMessage::Reply);
    Check(read.id == reply.id && read.refused == reply.refused);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrhost::cSettingsStore settings;
    cNoDevices devices;
    vrhost::cClientRequests requests(settings, devices, {});
    bool greeted = false;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The input as one message body, and as a stream of frames.
    AnswerOne(requests, bytes, greeted);
    cFrameReader reader;
    reader.Append(bytes.data(), bytes.size());
    std::string body;
    while (reader.Next(body) == cFrameReader::eNext::Frame) AnswerOne(requests, body, greeted);
    sClientReply reply;
    sClientEvent event;
    DecodeServerMessage(bytes, reply, event);
    return 0;
}
