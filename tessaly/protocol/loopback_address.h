// IPv4 endpoints restricted to the loopback network 127.0.0.0/8: the only
// addresses the library and its servers ever bind to or send to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::net {

struct sEndpoint {
    uint32_t address = 0;  // host byte order
    uint16_t port = 0;
    bool operator==(const sEndpoint& o) const { return address == o.address && port == o.port; }
    bool operator!=(const sEndpoint& o) const { return !(*this == o); }
};

constexpr uint32_t kLoopbackAddress = 0x7f000001u;  // 127.0.0.1

bool IsLoopback(uint32_t address);

// Strict dotted decimal "a.b.c.d" (no leading zeros, no spaces). Any IPv4 address.
bool ParseIPv4(const std::string& text, uint32_t* address);
std::string FormatIPv4(uint32_t address);
std::string FormatEndpoint(const sEndpoint& endpoint);

// Comma-separated "address[:port]" list; blanks around entries are ignored.
// Entries that are malformed or not loopback are left out and described in
// `refused`, one message each.
std::vector<sEndpoint> ParseEndpointList(const std::string& text, uint16_t defaultPort,
                                         std::vector<std::string>* refused);

}  // namespace tessaly::net
