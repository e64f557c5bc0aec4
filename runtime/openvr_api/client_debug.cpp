#include "openvr_api/client_debug.h"

#include "openvr_api/library_lock.h"

#include <algorithm>
#include <cstring>

namespace openvr_api {

using vrhost::link::eClientOp;
using vrhost::link::sClientReply;
using vrhost::link::sClientRequest;

namespace {

// The runtime's limit on a response.
constexpr uint32_t kLargestResponse = 32 * 1024;

}  // namespace

vr::EVRDebugError cClientDebug::EmitVrProfilerEvent(const char* pchMessage) {
    return pchMessage ? vr::VRDebugError_Success : vr::VRDebugError_BadParameter;
}

vr::EVRDebugError cClientDebug::BeginVrProfilerEvent(vr::VrProfilerEventHandle_t* pHandleOut) {
    if (!pHandleOut) return vr::VRDebugError_BadParameter;
    *pHandleOut = 0;
    return vr::VRDebugError_Success;
}

vr::EVRDebugError cClientDebug::FinishVrProfilerEvent(vr::VrProfilerEventHandle_t, const char* pchMessage) {
    return pchMessage ? vr::VRDebugError_Success : vr::VRDebugError_BadParameter;
}

uint32_t cClientDebug::DriverDebugRequest(vr::TrackedDeviceIndex_t unDeviceIndex, const char* pchRequest,
                                          char* pchResponseBuffer, uint32_t unResponseBufferSize) {
    if (pchResponseBuffer && unResponseBufferSize > 0) pchResponseBuffer[0] = '\0';
    if (!pchRequest || unDeviceIndex >= vr::k_unMaxTrackedDeviceCount) return 0;
    sClientRequest request;
    request.op = eClientOp::DebugRequest;
    request.device = unDeviceIndex;
    request.stringValue = pchRequest;
    // The driver writes at most this much: without a buffer, the whole of the answer's size is asked for.
    request.bufferSize = pchResponseBuffer ? std::min(unResponseBufferSize, kLargestResponse) : kLargestResponse;
    sClientReply reply;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        if (!mConnection.Call(request, reply) || reply.refused || reply.error != 0) return 0;
    }
    const std::string& response = reply.stringValue;
    if (pchResponseBuffer && unResponseBufferSize > 0) {
        const size_t length = std::min<size_t>(response.size(), unResponseBufferSize - 1);
        std::memcpy(pchResponseBuffer, response.data(), length);
        pchResponseBuffer[length] = '\0';
    }
    return static_cast<uint32_t>(response.size() + 1);
}

}  // namespace openvr_api
