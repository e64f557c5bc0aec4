// TCP streams on 127.0.0.1 only: the one transport between vrhost and its client
// library. Each object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrhost::link {

enum class eIoResult { Done, Timeout, Closed };

class cLoopbackStream {
public:
    cLoopbackStream() = default;
    ~cLoopbackStream();
    cLoopbackStream(cLoopbackStream&& other) noexcept;
    cLoopbackStream& operator=(cLoopbackStream&& other) noexcept;
    cLoopbackStream(const cLoopbackStream&) = delete;
    cLoopbackStream& operator=(const cLoopbackStream&) = delete;

    // Connects to 127.0.0.1:port, giving up after timeoutMs.
    bool Connect(uint16_t port, int timeoutMs);
    bool IsOpen() const { return mHandle != kNoHandle; }
    void Close();

    // All bytes or nothing useful: Timeout when the peer stops reading, Closed when it is gone.
    eIoResult SendAll(const void* data, size_t size, int timeoutMs);
    // Whatever has arrived, at most `capacity` bytes; waits up to timeoutMs (0: no wait)
    // for the first byte. Closed when the peer has gone and nothing is left.
    eIoResult Receive(void* buffer, size_t capacity, size_t& received, int timeoutMs);

    intptr_t Handle() const { return mHandle; }
    static constexpr intptr_t kNoHandle = -1;

private:
    friend class cLoopbackListener;
    explicit cLoopbackStream(intptr_t handle) : mHandle(handle) {}
    intptr_t mHandle = kNoHandle;
};

class cLoopbackListener {
public:
    cLoopbackListener() = default;
    ~cLoopbackListener();
    cLoopbackListener(const cLoopbackListener&) = delete;
    cLoopbackListener& operator=(const cLoopbackListener&) = delete;

    // Listens on 127.0.0.1 at a free port.
    bool Listen();
    uint16_t Port() const { return mPort; }
    void Close();
    // A waiting connection, or a closed stream when none came within timeoutMs.
    cLoopbackStream Accept(int timeoutMs);
    intptr_t Handle() const { return mHandle; }

private:
    intptr_t mHandle = cLoopbackStream::kNoHandle;
    uint16_t mPort = 0;
};

// Waits up to timeoutMs until one of the handles can be read (or has closed); the
// result tells which, in the order given.
std::vector<bool> WaitReadable(const std::vector<intptr_t>& handles, int timeoutMs);

}  // namespace vrhost::link
