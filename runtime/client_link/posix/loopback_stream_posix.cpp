#include "client_link/loopback_stream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace vrhost::link {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// 0 when the wait ran out, negative on failure.
int WaitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

int NewSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

}  // namespace

cLoopbackStream::~cLoopbackStream() { Close(); }

cLoopbackStream::cLoopbackStream(cLoopbackStream&& other) noexcept : mHandle(other.mHandle) {
    other.mHandle = kNoHandle;
}

cLoopbackStream& cLoopbackStream::operator=(cLoopbackStream&& other) noexcept {
    if (this != &other) {
        Close();
        mHandle = other.mHandle;
        other.mHandle = kNoHandle;
    }
    return *this;
}

void cLoopbackStream::Close() {
    if (mHandle != kNoHandle) ::close(static_cast<int>(mHandle));
    mHandle = kNoHandle;
}

bool cLoopbackStream::Connect(uint16_t port, int timeoutMs) {
    Close();
    const int fd = NewSocket();
    if (fd < 0) return false;
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        if (error == EINPROGRESS && WaitFor(fd, POLLOUT, timeoutMs) > 0) {
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        if (error != 0) {
            ::close(fd);
            return false;
        }
    }
    mHandle = fd;
    return true;
}

eIoResult cLoopbackStream::SendAll(const void* data, size_t size, int timeoutMs) {
    if (mHandle == kNoHandle) return eIoResult::Closed;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(static_cast<int>(mHandle), bytes, size, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = WaitFor(static_cast<int>(mHandle), POLLOUT, timeoutMs);
            if (ready == 0) return eIoResult::Timeout;
            if (ready > 0) continue;
        }
        return eIoResult::Closed;
    }
    return eIoResult::Done;
}

eIoResult cLoopbackStream::Receive(void* buffer, size_t capacity, size_t& received, int timeoutMs) {
    received = 0;
    if (mHandle == kNoHandle) return eIoResult::Closed;
    const int ready = WaitFor(static_cast<int>(mHandle), POLLIN, timeoutMs);
    if (ready == 0) return eIoResult::Timeout;
    if (ready < 0) return eIoResult::Closed;
    for (;;) {
        const ssize_t got = ::recv(static_cast<int>(mHandle), buffer, capacity, 0);
        if (got > 0) {
            received = static_cast<size_t>(got);
            return eIoResult::Done;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return eIoResult::Timeout;
        return eIoResult::Closed;
    }
}

cLoopbackListener::~cLoopbackListener() { Close(); }

bool cLoopbackListener::Listen() {
    Close();
    const int fd = NewSocket();
    if (fd < 0) return false;
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return false;
    }
    mHandle = fd;
    mPort = ntohs(address.sin_port);
    return true;
}

void cLoopbackListener::Close() {
    if (mHandle != cLoopbackStream::kNoHandle) ::close(static_cast<int>(mHandle));
    mHandle = cLoopbackStream::kNoHandle;
    mPort = 0;
}

cLoopbackStream cLoopbackListener::Accept(int timeoutMs) {
    if (mHandle == cLoopbackStream::kNoHandle || WaitFor(static_cast<int>(mHandle), POLLIN, timeoutMs) <= 0) {
        return cLoopbackStream();
    }
    const int fd = ::accept4(static_cast<int>(mHandle), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return cLoopbackStream();
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return cLoopbackStream(fd);
}

std::vector<bool> WaitReadable(const std::vector<intptr_t>& handles, int timeoutMs) {
    std::vector<pollfd> entries;
    for (const intptr_t handle : handles) entries.push_back(pollfd{static_cast<int>(handle), POLLIN, 0});
    int ready;
    do {
        ready = ::poll(entries.data(), entries.size(), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    std::vector<bool> readable(handles.size(), false);
    for (size_t i = 0; ready > 0 && i < entries.size(); ++i) readable[i] = entries[i].revents != 0;
    return readable;
}

}  // namespace vrhost::link
