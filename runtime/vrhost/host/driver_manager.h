// IVRDriverManager_001: the runtime's list of drivers, which here holds the one
// driver vrhost loaded.
#pragma once

#include <openvr_driver.h>

#include <string>

namespace vrhost {

class cDriverManager final : public vr::IVRDriverManager {
public:
    void SetDriver(std::string name, vr::DriverHandle_t handle);

    uint32_t GetDriverCount() const override;
    uint32_t GetDriverName(vr::DriverId_t nDriver, char* pchValue, uint32_t unBufferSize) override;
    vr::DriverHandle_t GetDriverHandle(const char* pchDriverName) override;
    bool IsEnabled(vr::DriverId_t nDriver) const override;

private:
    // Written before the driver is loaded, read-only afterwards.
    std::string mName;
    vr::DriverHandle_t mHandle = vr::k_ulInvalidDriverHandle;
};

}  // namespace vrhost
