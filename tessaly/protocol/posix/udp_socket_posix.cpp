#include "udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaly::net {

namespace {

sockaddr_in ToSockaddr(const sEndpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(e.address);
    sa.sin_port = htons(e.port);
    return sa;
}

}  // namespace

bool LoopbackAliasesBindable() { return true; }

cUdpSocket::~cUdpSocket() { Close(); }

bool cUdpSocket::IsOpen() const { return mHandle >= 0; }

bool cUdpSocket::Open(const sEndpoint& local, std::string* error) {
    Close();
    if (!IsLoopback(local.address)) {
        if (error) *error = "refusing to bind non-loopback address " + FormatIPv4(local.address);
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        if (error) *error = std::string("socket() failed: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in sa = ToSockaddr(local);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (error) *error = "bind(" + FormatEndpoint(local) + ") failed: " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t length = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    mLocal.address = ntohl(sa.sin_addr.s_addr);
    mLocal.port = ntohs(sa.sin_port);
    mHandle = fd;
    return true;
}

void cUdpSocket::Close() {
    if (mHandle >= 0) ::close(static_cast<int>(mHandle));
    mHandle = -1;
}

bool cUdpSocket::SendTo(const sEndpoint& to, const uint8_t* data, size_t size) {
    if (mHandle < 0 || !IsLoopback(to.address) || to.port == 0) return false;
    sockaddr_in sa = ToSockaddr(to);
    ssize_t sent = ::sendto(static_cast<int>(mHandle), data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa),
                            sizeof sa);
    return sent == static_cast<ssize_t>(size);
}

eReceiveResult cUdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, size_t* size, sEndpoint* from,
                                       int timeoutMs) {
    if (mHandle < 0) return eReceiveResult::Error;
    pollfd pfd{static_cast<int>(mHandle), POLLIN, 0};
    int ready = ::poll(&pfd, 1, timeoutMs);
    if (ready == 0) return eReceiveResult::Timeout;
    if (ready < 0) return errno == EINTR ? eReceiveResult::Timeout : eReceiveResult::Error;
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    ssize_t n = ::recvfrom(static_cast<int>(mHandle), buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                           reinterpret_cast<sockaddr*>(&sa), &length);
    if (n < 0) return (errno == EAGAIN || errno == EINTR) ? eReceiveResult::Timeout : eReceiveResult::Error;
    if (static_cast<size_t>(n) > capacity) return eReceiveResult::Truncated;
    *size = static_cast<size_t>(n);
    from->address = ntohl(sa.sin_addr.s_addr);
    from->port = ntohs(sa.sin_port);
    return eReceiveResult::Datagram;
}

}  // namespace tessaly::net
