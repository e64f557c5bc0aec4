#include "client_link/loopback_stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <vector>

namespace vrhost::link {
namespace {

bool StartWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

SOCKET AsSocket(intptr_t handle) { return static_cast<SOCKET>(handle); }

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// 0 when the wait ran out, negative on failure.
int WaitFor(SOCKET s, short events, int timeoutMs) {
    WSAPOLLFD entry{};
    entry.fd = s;
    entry.events = events;
    return WSAPoll(&entry, 1, timeoutMs);
}

SOCKET NewSocket() {
    if (!StartWinsock()) return INVALID_SOCKET;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return s;
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
    if (mHandle != kNoHandle) ::closesocket(AsSocket(mHandle));
    mHandle = kNoHandle;
}

bool cLoopbackStream::Connect(uint16_t port, int timeoutMs) {
    Close();
    SOCKET s = NewSocket();
    if (s == INVALID_SOCKET) return false;
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK && WaitFor(s, POLLOUT, timeoutMs) > 0) {
            int length = sizeof error;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) error = -1;
        }
        if (error != 0) {
            ::closesocket(s);
            return false;
        }
    }
    mHandle = static_cast<intptr_t>(s);
    return true;
}

eIoResult cLoopbackStream::SendAll(const void* data, size_t size, int timeoutMs) {
    if (mHandle == kNoHandle) return eIoResult::Closed;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
        const int sent = ::send(AsSocket(mHandle), bytes, chunk, 0);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            const int ready = WaitFor(AsSocket(mHandle), POLLOUT, timeoutMs);
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
    const int ready = WaitFor(AsSocket(mHandle), POLLIN, timeoutMs);
    if (ready == 0) return eIoResult::Timeout;
    if (ready < 0) return eIoResult::Closed;
    const int chunk = capacity > 65536 ? 65536 : static_cast<int>(capacity);
    const int got = ::recv(AsSocket(mHandle), static_cast<char*>(buffer), chunk, 0);
    if (got > 0) {
        received = static_cast<size_t>(got);
        return eIoResult::Done;
    }
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return eIoResult::Timeout;
    return eIoResult::Closed;
}

cLoopbackListener::~cLoopbackListener() { Close(); }

bool cLoopbackListener::Listen() {
    Close();
    SOCKET s = NewSocket();
    if (s == INVALID_SOCKET) return false;
    // Without it a second program could take over the port.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address = LoopbackAddress(0);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return false;
    }
    mHandle = static_cast<intptr_t>(s);
    mPort = ntohs(address.sin_port);
    return true;
}

void cLoopbackListener::Close() {
    if (mHandle != cLoopbackStream::kNoHandle) ::closesocket(AsSocket(mHandle));
    mHandle = cLoopbackStream::kNoHandle;
    mPort = 0;
}

cLoopbackStream cLoopbackListener::Accept(int timeoutMs) {
    if (mHandle == cLoopbackStream::kNoHandle || WaitFor(AsSocket(mHandle), POLLIN, timeoutMs) <= 0) {
        return cLoopbackStream();
    }
    SOCKET s = ::accept(AsSocket(mHandle), nullptr, nullptr);
    if (s == INVALID_SOCKET) return cLoopbackStream();
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return cLoopbackStream(static_cast<intptr_t>(s));
}

std::vector<bool> WaitReadable(const std::vector<intptr_t>& handles, int timeoutMs) {
    std::vector<WSAPOLLFD> entries(handles.size());
    for (size_t i = 0; i < handles.size(); ++i) {
        entries[i].fd = AsSocket(handles[i]);
        entries[i].events = POLLIN;
    }
    const int ready = WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeoutMs);
    std::vector<bool> readable(handles.size(), false);
    for (size_t i = 0; ready > 0 && i < entries.size(); ++i) readable[i] = entries[i].revents != 0;
    return readable;
}

}  // namespace vrhost::link
