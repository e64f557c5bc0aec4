// A UDP socket that binds to and sends to loopback addresses only.
// One thread may receive while others send; Open and Close are not concurrent
// with anything else.
#pragma once

#include "loopback_address.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly::net {

// Truncated: a datagram larger than the buffer arrived and was discarded.
enum class eReceiveResult { Datagram, Truncated, Timeout, Error };

class cUdpSocket {
public:
    cUdpSocket() = default;
    ~cUdpSocket();
    cUdpSocket(const cUdpSocket&) = delete;
    cUdpSocket& operator=(const cUdpSocket&) = delete;

    // Port 0 picks a free port. Fails for non-loopback addresses, and for loopback
    // aliases other than 127.0.0.1 where they cannot be bound exactly (see below).
    bool Open(const sEndpoint& local, std::string* error);
    void Close();
    bool IsOpen() const;
    sEndpoint LocalEndpoint() const { return mLocal; }

    // Refuses non-loopback destinations.
    bool SendTo(const sEndpoint& to, const uint8_t* data, size_t size);
    eReceiveResult ReceiveFrom(uint8_t* buffer, size_t capacity, size_t* size, sEndpoint* from, int timeoutMs);

private:
    intptr_t mHandle = -1;
    sEndpoint mLocal;
};

// False where binding 127.x.y.z other than 127.0.0.1 would not stay on that
// address: Wine turns such a bind into a bind to all interfaces.
bool LoopbackAliasesBindable();

}  // namespace tessaly::net
