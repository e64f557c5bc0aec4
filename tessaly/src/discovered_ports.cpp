#include "discovered_ports.h"

#include "TessalyTypes.h"

#include <map>
#include <mutex>

namespace tessaly {
namespace {
std::mutex gMutex;
std::map<uint32_t, uint16_t>& Ports() {
    static std::map<uint32_t, uint16_t> ports;
    return ports;
}
}  // namespace

void RememberServerPort(uint32_t address, uint16_t port) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (Ports().size() < 4096 || Ports().count(address)) Ports()[address] = port;
}

uint16_t ServerPortFor(uint32_t address) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = Ports().find(address);
    return it == Ports().end() ? TESSALY_DEFAULT_SERVER_PORT : it->second;
}

}  // namespace tessaly
