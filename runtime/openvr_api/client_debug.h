// IVRDebug_001 of the client library: requests to a device's driver go to vrhost,
// which hands them to the device's DebugRequest. Profiler events are accepted and dropped.
#pragma once

#include "openvr_api/client_connection.h"

#include <openvr.h>

namespace openvr_api {

class cClientDebug final : public vr::IVRDebug {
public:
    explicit cClientDebug(cClientConnection& connection) : mConnection(connection) {}

    vr::EVRDebugError EmitVrProfilerEvent(const char* pchMessage) override;
    vr::EVRDebugError BeginVrProfilerEvent(vr::VrProfilerEventHandle_t* pHandleOut) override;
    vr::EVRDebugError FinishVrProfilerEvent(vr::VrProfilerEventHandle_t hHandle, const char* pchMessage) override;
    uint32_t DriverDebugRequest(vr::TrackedDeviceIndex_t unDeviceIndex, const char* pchRequest,
                                char* pchResponseBuffer, uint32_t unResponseBufferSize) override;

private:
    cClientConnection& mConnection;
};

}  // namespace openvr_api
