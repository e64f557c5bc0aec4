#include "discovered_ports.h"

#include "TessalyTypes.h"

#include <map>
#include <mutex>

namespace tessaly {
namespace {
struct sPorts {
    std::mutex mutex;
    std::map<uint32_t, uint16_t> byAddress;
};

// Never destroyed: a discovery thread the application did not free may still
// answer a reply while the process runs its exit handlers.
sPorts& Ports() {
    static sPorts* ports = new sPorts;
    return *ports;
}
}  // namespace

void RememberServerPort(uint32_t address, uint16_t port) {
    sPorts& ports = Ports();
    std::lock_guard<std::mutex> lock(ports.mutex);
    if (ports.byAddress.size() < 4096 || ports.byAddress.count(address)) ports.byAddress[address] = port;
}

uint16_t ServerPortFor(uint32_t address) {
    sPorts& ports = Ports();
    std::lock_guard<std::mutex> lock(ports.mutex);
    auto it = ports.byAddress.find(address);
    return it == ports.byAddress.end() ? TESSALY_DEFAULT_SERVER_PORT : it->second;
}

}  // namespace tessaly
