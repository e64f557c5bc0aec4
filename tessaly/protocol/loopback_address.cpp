#include "loopback_address.h"

namespace tessaly::net {

bool IsLoopback(uint32_t address) { return (address >> 24) == 127; }

bool ParseIPv4(const std::string& text, uint32_t* address) {
    uint32_t result = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        uint32_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
            ++pos;
        }
        const size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
        result = (result << 8) | value;
    }
    if (pos != text.size()) return false;
    *address = result;
    return true;
}

std::string FormatIPv4(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

std::string FormatEndpoint(const sEndpoint& endpoint) {
    return FormatIPv4(endpoint.address) + ":" + std::to_string(endpoint.port);
}

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool ParsePort(const std::string& text, uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

std::vector<sEndpoint> ParseEndpointList(const std::string& text, uint16_t defaultPort,
                                         std::vector<std::string>* refused) {
    std::vector<sEndpoint> endpoints;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string entry = Trim(text.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty()) continue;
        sEndpoint endpoint;
        endpoint.port = defaultPort;
        const size_t colon = entry.find(':');
        const std::string host = entry.substr(0, colon);
        if (!ParseIPv4(host, &endpoint.address) ||
            (colon != std::string::npos && !ParsePort(entry.substr(colon + 1), &endpoint.port))) {
            if (refused) refused->push_back("malformed address entry \"" + entry + "\"");
            continue;
        }
        if (!IsLoopback(endpoint.address)) {
            if (refused) refused->push_back("non-loopback address " + host + " refused");
            continue;
        }
        bool duplicate = false;
        for (const sEndpoint& e : endpoints) duplicate = duplicate || e == endpoint;
        if (!duplicate) endpoints.push_back(endpoint);
    }
    return endpoints;
}

}  // namespace tessaly::net
