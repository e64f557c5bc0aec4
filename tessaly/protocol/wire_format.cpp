#include "wire_format.h"

#include <cmath>
#include <cstring>

namespace tessaly::wire {
namespace {

class cWriter {
public:
    explicit cWriter(std::vector<uint8_t>& out) : mOut(out) {}
    void U8(uint8_t v) { mOut.push_back(v); }
    void U16(uint16_t v) {
        for (int i = 0; i < 2; ++i) mOut.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) mOut.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i) mOut.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        U32(bits);
    }
    void Bytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        mOut.insert(mOut.end(), p, p + size);
    }
    // Fixed-width text field, NUL-padded; always keeps a terminator.
    void Text(const char* text, size_t width) {
        size_t length = text ? strnlen(text, width - 1) : 0;
        Bytes(text, length);
        mOut.insert(mOut.end(), width - length, 0);
    }

private:
    std::vector<uint8_t>& mOut;
};

class cReader {
public:
    cReader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    size_t Remaining() const { return mSize - mPos; }
    const uint8_t* Here() const { return mData + mPos; }
    uint8_t U8() { return mData[mPos++]; }
    uint16_t U16() {
        uint16_t v = static_cast<uint16_t>(mData[mPos] | (mData[mPos + 1] << 8));
        mPos += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(mData[mPos + i]) << (8 * i);
        mPos += 4;
        return v;
    }
    uint64_t U64() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(mData[mPos + i]) << (8 * i);
        mPos += 8;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() {
        uint32_t bits = U32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    void Skip(size_t n) { mPos += n; }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPos = 0;
};

bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7e; }

// A text field must be terminated inside its width, printable before the
// terminator and zero after it, so that one message has exactly one encoding.
bool ReadText(cReader& r, char* out, size_t width) {
    const char* field = reinterpret_cast<const char*>(r.Here());
    size_t length = strnlen(field, width);
    if (length == width) return false;
    for (size_t i = 0; i < length; ++i)
        if (!IsPrintable(field[i])) return false;
    for (size_t i = length; i < width; ++i)
        if (field[i] != 0) return false;
    std::memcpy(out, field, width);
    r.Skip(width);
    return true;
}

bool ReadBool(cReader& r, bool* out) {
    uint8_t v = r.U8();
    if (v > 1) return false;
    *out = v != 0;
    return true;
}

void WriteHeader(cWriter& w, eMessageType type, uint64_t token, uint32_t sequence, size_t payloadSize) {
    w.U32(kMagic);
    w.U16(kProtocolVersion);
    w.U16(static_cast<uint16_t>(type));
    w.U64(token);
    w.U32(sequence);
    w.U32(static_cast<uint32_t>(payloadSize));
}

void WriteServerInfo(cWriter& w, const sServerInfo& info) {
    w.U16(info.port);
    w.U8(info.multicast ? 1 : 0);
    w.U8(0);
    w.U64(info.clockFrequency);
    w.Text(info.name, kNameSize);
    w.Text(info.app, kNameSize);
    w.Bytes(info.appVersion, 4);
}

bool ReadServerInfo(cReader& r, sServerInfo* info) {
    info->port = r.U16();
    if (!ReadBool(r, &info->multicast)) return false;
    if (r.U8() != 0) return false;
    info->clockFrequency = r.U64();
    if (!ReadText(r, info->name, kNameSize) || !ReadText(r, info->app, kNameSize)) return false;
    std::memcpy(info->appVersion, r.Here(), 4);
    r.Skip(4);
    return info->port != 0 && info->clockFrequency != 0;
}

bool IsFiniteFloat(const uint8_t* p) {
    uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                    (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return (bits & 0x7f800000u) != 0x7f800000u;
}

bool ValidRigidBodyEntry(const uint8_t* entry) {
    for (size_t offset = 4; offset < 36; offset += 4)
        if (!IsFiniteFloat(entry + offset)) return false;
    uint16_t flags = static_cast<uint16_t>(entry[36] | (entry[37] << 8));
    return (flags & ~kRigidBodyKnownFlags) == 0;
}

// Payload of each type; sizes are checked by the caller against the header.
eParseResult ParsePayload(cReader& r, sDatagram* out) {
    const size_t size = r.Remaining();
    switch (out->header.type) {
        case eMessageType::DiscoveryProbe:
        case eMessageType::Disconnect:
            return size == 0 ? eParseResult::Ok : eParseResult::BadPayload;
        case eMessageType::DiscoveryAnswer:
            if (size != kServerInfoSize) return eParseResult::BadPayload;
            return ReadServerInfo(r, &out->serverInfo) ? eParseResult::Ok : eParseResult::BadPayload;
        case eMessageType::ConnectRequest:
            if (size != 2) return eParseResult::BadPayload;
            out->connectionType = r.U8();
            if (out->connectionType > 1) return eParseResult::BadPayload;
            return ReadBool(r, &out->subscribedDataOnly) ? eParseResult::Ok : eParseResult::BadPayload;
        case eMessageType::ConnectAnswer:
            if (size != 4 + kServerInfoSize) return eParseResult::BadPayload;
            out->result = r.I32();
            return ReadServerInfo(r, &out->serverInfo) ? eParseResult::Ok : eParseResult::BadPayload;
        case eMessageType::CommandRequest: {
            if (size == 0 || size > kMaxCommandLength) return eParseResult::BadPayload;
            const char* text = reinterpret_cast<const char*>(r.Here());
            for (size_t i = 0; i < size; ++i)
                if (!IsPrintable(text[i])) return eParseResult::BadPayload;
            out->command = text;
            out->commandLength = size;
            return eParseResult::Ok;
        }
        case eMessageType::CommandResponse:
            if (size < 6 || size - 6 > kMaxResponseSize) return eParseResult::BadPayload;
            out->result = r.I32();
            if (!ReadBool(r, &out->hasResponse) || r.U8() != 0) return eParseResult::BadPayload;
            if (!out->hasResponse && r.Remaining() != 0) return eParseResult::BadPayload;
            out->response = out->hasResponse ? r.Here() : nullptr;
            out->responseSize = r.Remaining();
            return eParseResult::Ok;
        case eMessageType::ClockSyncRequest:
            if (size != 8) return eParseResult::BadPayload;
            out->clientStamp = r.U64();
            return eParseResult::Ok;
        case eMessageType::ClockSyncAnswer:
            if (size != 16) return eParseResult::BadPayload;
            out->clientStamp = r.U64();
            out->serverTicks = r.U64();
            return out->serverTicks != 0 ? eParseResult::Ok : eParseResult::BadPayload;
        case eMessageType::Frame: {
            if (size < kFrameFixedSize) return eParseResult::BadPayload;
            sFrameHeader& f = out->frame;
            f.frameNumber = r.U32();
            f.midExposureTicks = r.U64();
            f.dataReceivedTicks = r.U64();
            f.transmitTicks = r.U64();
            f.rigidBodyCount = r.U16();
            if (r.U16() != 0) return eParseResult::BadPayload;
            if (f.rigidBodyCount > kMaxFrameRigidBodies) return eParseResult::BadPayload;
            if (r.Remaining() != f.rigidBodyCount * kRigidBodyWireSize) return eParseResult::BadPayload;
            for (size_t i = 0; i < f.rigidBodyCount; ++i)
                if (!ValidRigidBodyEntry(r.Here() + i * kRigidBodyWireSize)) return eParseResult::BadPayload;
            out->rigidBodies = r.Here();
            return eParseResult::Ok;
        }
    }
    return eParseResult::UnknownType;
}

}  // namespace

eParseResult ParseDatagram(const uint8_t* data, size_t size, sDatagram* out) {
    *out = sDatagram{};
    if (data == nullptr || size < kHeaderSize) return eParseResult::TooShort;
    if (size > kMaxDatagramSize) return eParseResult::BadLength;
    cReader r(data, size);
    if (r.U32() != kMagic) return eParseResult::BadMagic;
    if (r.U16() != kProtocolVersion) return eParseResult::WrongVersion;
    const uint16_t type = r.U16();
    out->header.token = r.U64();
    out->header.sequence = r.U32();
    const uint32_t payloadSize = r.U32();
    if (payloadSize != size - kHeaderSize) return eParseResult::BadLength;
    if (type < static_cast<uint16_t>(eMessageType::DiscoveryProbe) ||
        type > static_cast<uint16_t>(eMessageType::Disconnect))
        return eParseResult::UnknownType;
    out->header.type = static_cast<eMessageType>(type);
    return ParsePayload(r, out);
}

const char* ParseResultName(eParseResult result) {
    switch (result) {
        case eParseResult::Ok: return "ok";
        case eParseResult::TooShort: return "too short";
        case eParseResult::BadMagic: return "not a Tessaly datagram";
        case eParseResult::WrongVersion: return "other protocol version";
        case eParseResult::BadLength: return "length mismatch";
        case eParseResult::UnknownType: return "unknown message type";
        case eParseResult::BadPayload: return "malformed payload";
    }
    return "?";
}

sRigidBody DecodeRigidBody(const sDatagram& frame, size_t index) {
    cReader r(frame.rigidBodies + index * kRigidBodyWireSize, kRigidBodyWireSize);
    sRigidBody body;
    body.id = r.I32();
    for (float& v : body.position) v = r.F32();
    for (float& v : body.orientation) v = r.F32();
    body.meanError = r.F32();
    body.flags = r.U16();
    return body;
}

void EncodeDiscoveryProbe(std::vector<uint8_t>& out, uint64_t nonce, uint32_t sequence) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::DiscoveryProbe, nonce, sequence, 0);
}

void EncodeDiscoveryAnswer(std::vector<uint8_t>& out, const sHeader& probe, const sServerInfo& info) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::DiscoveryAnswer, probe.token, probe.sequence, kServerInfoSize);
    WriteServerInfo(w, info);
}

void EncodeConnectRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint8_t connectionType,
                          bool subscribedDataOnly) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::ConnectRequest, token, sequence, 2);
    w.U8(connectionType);
    w.U8(subscribedDataOnly ? 1 : 0);
}

void EncodeConnectAnswer(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, int32_t result,
                         const sServerInfo& info) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::ConnectAnswer, token, sequence, 4 + kServerInfoSize);
    w.I32(result);
    WriteServerInfo(w, info);
}

bool EncodeCommandRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, const char* command) {
    out.clear();
    if (command == nullptr) return false;
    size_t length = strnlen(command, kMaxCommandLength + 1);
    if (length == 0 || length > kMaxCommandLength) return false;
    for (size_t i = 0; i < length; ++i)
        if (!IsPrintable(command[i])) return false;
    cWriter w(out);
    WriteHeader(w, eMessageType::CommandRequest, token, sequence, length);
    w.Bytes(command, length);
    return true;
}

bool EncodeCommandResponse(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, int32_t result,
                           bool hasResponse, const uint8_t* response, size_t responseSize) {
    out.clear();
    if (!hasResponse) responseSize = 0;
    if (responseSize > kMaxResponseSize) return false;
    cWriter w(out);
    WriteHeader(w, eMessageType::CommandResponse, token, sequence, 6 + responseSize);
    w.I32(result);
    w.U8(hasResponse ? 1 : 0);
    w.U8(0);
    if (responseSize > 0) w.Bytes(response, responseSize);
    return true;
}

void EncodeClockSyncRequest(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint64_t clientStamp) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::ClockSyncRequest, token, sequence, 8);
    w.U64(clientStamp);
}

void EncodeClockSyncAnswer(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, uint64_t clientStamp,
                           uint64_t serverTicks) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::ClockSyncAnswer, token, sequence, 16);
    w.U64(clientStamp);
    w.U64(serverTicks);
}

bool EncodeFrame(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence, const sFrameHeader& frame,
                 const sRigidBody* rigidBodies, size_t count) {
    out.clear();
    if (count > kMaxFrameRigidBodies) return false;
    out.reserve(kHeaderSize + kFrameFixedSize + count * kRigidBodyWireSize);
    cWriter w(out);
    WriteHeader(w, eMessageType::Frame, token, sequence, kFrameFixedSize + count * kRigidBodyWireSize);
    w.U32(frame.frameNumber);
    w.U64(frame.midExposureTicks);
    w.U64(frame.dataReceivedTicks);
    w.U64(frame.transmitTicks);
    w.U16(static_cast<uint16_t>(count));
    w.U16(0);
    for (size_t i = 0; i < count; ++i) {
        const sRigidBody& b = rigidBodies[i];
        w.I32(b.id);
        for (float v : b.position) w.F32(v);
        for (float v : b.orientation) w.F32(v);
        w.F32(b.meanError);
        w.U16(b.flags);
    }
    return true;
}

void EncodeDisconnect(std::vector<uint8_t>& out, uint64_t token, uint32_t sequence) {
    out.clear();
    cWriter w(out);
    WriteHeader(w, eMessageType::Disconnect, token, sequence, 0);
}

}  // namespace tessaly::wire
