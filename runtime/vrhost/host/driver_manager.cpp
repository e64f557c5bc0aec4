#include "vrhost/host/driver_manager.h"

#include <cstring>

namespace vrhost {

void cDriverManager::SetDriver(std::string name, vr::DriverHandle_t handle) {
    mName = std::move(name);
    mHandle = handle;
}

uint32_t cDriverManager::GetDriverCount() const { return mName.empty() ? 0 : 1; }

uint32_t cDriverManager::GetDriverName(vr::DriverId_t nDriver, char* pchValue, uint32_t unBufferSize) {
    if (nDriver != 0 || mName.empty()) {
        if (pchValue && unBufferSize > 0) pchValue[0] = '\0';
        return 0;
    }
    const uint32_t needed = static_cast<uint32_t>(mName.size() + 1);
    if (pchValue && unBufferSize >= needed) std::memcpy(pchValue, mName.c_str(), needed);
    else if (pchValue && unBufferSize > 0) pchValue[0] = '\0';
    return needed;
}

vr::DriverHandle_t cDriverManager::GetDriverHandle(const char* pchDriverName) {
    if (!pchDriverName || mName.empty() || mName != pchDriverName) return vr::k_ulInvalidDriverHandle;
    return mHandle;
}

bool cDriverManager::IsEnabled(vr::DriverId_t nDriver) const { return nDriver == 0 && !mName.empty(); }

}  // namespace vrhost
