#include "discovered_ports.h"

#include "TessalyTypes.h"

#include <map>
#include <mutex>

namespace tessaly {
namespace {
// Namespace scope rather than a function-local static: built when the library is
// loaded, so it is destroyed after anything the application created later,
// including a discovery it frees from its own exit handlers.
std::mutex gMutex;
std::map<uint32_t, uint16_t> gPorts;
}  // namespace

void RememberServerPort(uint32_t address, uint16_t port) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gPorts.size() < 4096 || gPorts.count(address)) gPorts[address] = port;
}

uint16_t ServerPortFor(uint32_t address) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gPorts.find(address);
    return it == gPorts.end() ? TESSALY_DEFAULT_SERVER_PORT : it->second;
}

}  // namespace tessaly
