// Counts every datagram a client or discovery receives, and why the refused ones
// were refused.
#pragma once

#include "TessalyTypes.h"
#include "wire_format.h"

#include <atomic>
#include <cstdint>

namespace tessaly {

class cDatagramCounters {
public:
    void Received() { mReceived.fetch_add(1, std::memory_order_relaxed); }
    void Frame() { mFrames.fetch_add(1, std::memory_order_relaxed); }
    void Delivered() { mDelivered.fetch_add(1, std::memory_order_relaxed); }
    void Truncated() { mMalformed.fetch_add(1, std::memory_order_relaxed); }
    void UnknownPeer() { mUnknownPeer.fetch_add(1, std::memory_order_relaxed); }
    void Unexpected() { mUnexpected.fetch_add(1, std::memory_order_relaxed); }
    void ParseFailure(wire::eParseResult result) {
        switch (result) {
            case wire::eParseResult::Ok: break;
            case wire::eParseResult::TooShort: mTooShort.fetch_add(1, std::memory_order_relaxed); break;
            case wire::eParseResult::WrongVersion: mWrongVersion.fetch_add(1, std::memory_order_relaxed); break;
            default: mMalformed.fetch_add(1, std::memory_order_relaxed); break;
        }
    }
    void Fill(sTessalyStatistics* s, uint16_t localPort) const {
        *s = sTessalyStatistics{};
        s->datagramsReceived = mReceived.load();
        s->framesReceived = mFrames.load();
        s->framesDelivered = mDelivered.load();
        s->droppedTooShort = mTooShort.load();
        s->droppedMalformed = mMalformed.load();
        s->droppedWrongVersion = mWrongVersion.load();
        s->droppedUnknownPeer = mUnknownPeer.load();
        s->droppedUnexpected = mUnexpected.load();
        s->localPort = localPort;
    }

private:
    std::atomic<uint64_t> mReceived{0}, mFrames{0}, mDelivered{0}, mTooShort{0}, mMalformed{0}, mWrongVersion{0},
        mUnknownPeer{0}, mUnexpected{0};
};

}  // namespace tessaly
