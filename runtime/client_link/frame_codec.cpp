#include "client_link/frame_codec.h"

#include <cstdint>

namespace vrhost::link {

std::string EncodeFrame(const std::string& body) {
    const auto size = static_cast<uint32_t>(body.size());
    std::string frame;
    frame.reserve(4 + body.size());
    for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((size >> shift) & 0xFF));
    frame += body;
    return frame;
}

void cFrameReader::Append(const char* data, size_t size) {
    // Drop what has been handed out before growing the buffer.
    if (mConsumed > 0) {
        mPending.erase(0, mConsumed);
        mConsumed = 0;
    }
    mPending.append(data, size);
}

cFrameReader::eNext cFrameReader::Next(std::string& body) {
    const size_t available = mPending.size() - mConsumed;
    if (available < 4) return eNext::NeedMore;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(static_cast<uint8_t>(mPending[mConsumed + i])) << (8 * i);
    if (size == 0 || size > kMaxFrameBody) return eNext::Invalid;
    if (available - 4 < size) return eNext::NeedMore;
    body.assign(mPending, mConsumed + 4, size);
    mConsumed += 4 + size;
    return eNext::Frame;
}

}  // namespace vrhost::link
