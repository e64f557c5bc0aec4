#include "udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace tessaly::net {

namespace {

// Winsock stays initialised for the life of the process: cleaning up while a
// detached library thread still closes its socket would be worse than the leak.
bool StartWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

sockaddr_in ToSockaddr(const sEndpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(e.address);
    sa.sin_port = htons(e.port);
    return sa;
}

std::string ErrorText(const char* what) { return std::string(what) + " failed, error " + std::to_string(WSAGetLastError()); }

}  // namespace

bool LoopbackAliasesBindable() {
    static const bool underWine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return !underWine;
}

cUdpSocket::~cUdpSocket() { Close(); }

bool cUdpSocket::IsOpen() const { return mHandle != -1; }

bool cUdpSocket::Open(const sEndpoint& local, std::string* error) {
    Close();
    if (!IsLoopback(local.address)) {
        if (error) *error = "refusing to bind non-loopback address " + FormatIPv4(local.address);
        return false;
    }
    if (local.address != kLoopbackAddress && !LoopbackAliasesBindable()) {
        if (error) *error = "cannot bind " + FormatIPv4(local.address) +
                            " here: this system would bind all interfaces instead; use 127.0.0.1";
        return false;
    }
    if (!StartWinsock()) {
        if (error) *error = ErrorText("WSAStartup");
        return false;
    }
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        if (error) *error = ErrorText("socket()");
        return false;
    }
    // Otherwise an ICMP "port unreachable" for an earlier send fails the next receive.
    BOOL off = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &returned, nullptr, nullptr);
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in sa = ToSockaddr(local);
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (error) *error = ErrorText(("bind(" + FormatEndpoint(local) + ")").c_str());
        ::closesocket(s);
        return false;
    }
    int length = sizeof sa;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &length);
    mLocal.address = ntohl(sa.sin_addr.s_addr);
    mLocal.port = ntohs(sa.sin_port);
    mHandle = static_cast<intptr_t>(s);
    return true;
}

void cUdpSocket::Close() {
    if (mHandle != -1) ::closesocket(static_cast<SOCKET>(mHandle));
    mHandle = -1;
}

bool cUdpSocket::SendTo(const sEndpoint& to, const uint8_t* data, size_t size) {
    if (mHandle == -1 || !IsLoopback(to.address) || to.port == 0) return false;
    sockaddr_in sa = ToSockaddr(to);
    int sent = ::sendto(static_cast<SOCKET>(mHandle), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                        reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    return sent == static_cast<int>(size);
}

eReceiveResult cUdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, size_t* size, sEndpoint* from,
                                       int timeoutMs) {
    if (mHandle == -1) return eReceiveResult::Error;
    const SOCKET s = static_cast<SOCKET>(mHandle);
    WSAPOLLFD pfd{s, POLLRDNORM, 0};
    int ready = WSAPoll(&pfd, 1, timeoutMs);
    if (ready == 0) return eReceiveResult::Timeout;
    if (ready < 0) return eReceiveResult::Error;
    sockaddr_in sa{};
    int length = sizeof sa;
    int n = ::recvfrom(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&sa), &length);
    if (n < 0) {
        const int code = WSAGetLastError();
        if (code == WSAEMSGSIZE) return eReceiveResult::Truncated;
        if (code == WSAECONNRESET || code == WSAEWOULDBLOCK || code == WSAEINTR) return eReceiveResult::Timeout;
        return eReceiveResult::Error;
    }
    *size = static_cast<size_t>(n);
    from->address = ntohl(sa.sin_addr.s_addr);
    from->port = ntohs(sa.sin_port);
    return eReceiveResult::Datagram;
}

}  // namespace tessaly::net
