// Messages between vrhost and its clients travel as frames: a 4-byte little-endian
// body length, then the body. A length of 0 or above kMaxFrameBody cannot be
// resynchronised from, so the reader reports it and the connection ends.
#pragma once

#include <cstddef>
#include <string>

namespace vrhost::link {

// Room for the largest property value (32 KiB) written out in hex.
constexpr size_t kMaxFrameBody = 256 * 1024;

std::string EncodeFrame(const std::string& body);

class cFrameReader {
public:
    enum class eNext { Frame, NeedMore, Invalid };

    void Append(const char* data, size_t size);
    // The next whole frame's body, if one has arrived.
    eNext Next(std::string& body);

private:
    std::string mPending;
    size_t mConsumed = 0;
};

}  // namespace vrhost::link
