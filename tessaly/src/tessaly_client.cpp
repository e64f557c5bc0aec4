// The exported API: thin forwarding onto the shared-owned implementation objects.
#include "TessalyClient.h"

#include "client_session.h"
#include "library_log.h"
#include "server_discovery.h"

#include <new>

struct sTessalyClientImpl {
    std::shared_ptr<tessaly::cClientSession> session = std::make_shared<tessaly::cClientSession>();
};

namespace {

struct sDiscoveryHandle {
    std::shared_ptr<tessaly::cServerDiscovery> discovery;
};

}  // namespace

TessalyClient::TessalyClient() : mImpl(new sTessalyClientImpl) {}

TessalyClient::~TessalyClient() {
    mImpl->session->Disconnect();
    delete mImpl;
}

ErrorCode TessalyClient::Connect(const sTessalyClientConnectParams& params) { return mImpl->session->Connect(params); }

ErrorCode TessalyClient::GetServerDescription(sServerDescription* description) {
    return mImpl->session->GetServerDescription(description);
}

ErrorCode TessalyClient::SendMessageAndWait(const char* request, void** response, int* size) {
    return mImpl->session->SendCommand(request, 3, 500, response, size);
}

ErrorCode TessalyClient::SendMessageAndWait(const char* request, int tries, int timeoutMs, void** response,
                                            int* size) {
    return mImpl->session->SendCommand(request, tries, timeoutMs, response, size);
}

ErrorCode TessalyClient::SetFrameReceivedCallback(TessalyFrameCallbackFunc callback, void* userData) {
    return mImpl->session->SetFrameCallback(callback, userData);
}

double TessalyClient::SecondsSinceHostTimestamp(uint64_t serverTicks) const {
    return mImpl->session->SecondsSince(serverTicks);
}

ErrorCode TessalyClient::Disconnect() { return mImpl->session->Disconnect(); }

ErrorCode TessalyClient::GetStatistics(sTessalyStatistics* statistics) const {
    if (statistics == nullptr) return ErrorCode_InvalidArgument;
    mImpl->session->GetStatistics(statistics);
    return ErrorCode_OK;
}

extern "C" {

void Tessaly_SetLogCallback(TessalyLogCallbackFunc callback) { tessaly::SetLogCallback(callback); }

ErrorCode Tessaly_CreateAsyncServerDiscovery(TessalyDiscoveryHandle* handle,
                                             TessalyServerDiscoveryCallbackFunc callback, void* userContext) {
    if (handle == nullptr) return ErrorCode_InvalidArgument;
    *handle = nullptr;
    if (callback == nullptr) return ErrorCode_InvalidArgument;
    auto* created = new (std::nothrow) sDiscoveryHandle;
    if (created == nullptr) return ErrorCode_Internal;
    // The handle is stored before the thread starts, so that a callback (or a
    // thread it starts) already finds it in the caller's variable.
    *handle = created;
    try {
        created->discovery = std::make_shared<tessaly::cServerDiscovery>(callback, userContext);
        created->discovery->Start();
    } catch (const std::exception& e) {
        tessaly::Log(Verbosity_Error, "Cannot start the server discovery: %s", e.what());
        *handle = nullptr;
        delete created;
        return ErrorCode_Internal;
    }
    return ErrorCode_OK;
}

ErrorCode Tessaly_FreeAsyncServerDiscovery(TessalyDiscoveryHandle handle) {
    if (handle == nullptr) return ErrorCode_InvalidArgument;
    auto* discovery = static_cast<sDiscoveryHandle*>(handle);
    discovery->discovery->Stop();
    delete discovery;
    return ErrorCode_OK;
}

ErrorCode Tessaly_GetDiscoveryStatistics(TessalyDiscoveryHandle handle, sTessalyStatistics* statistics) {
    if (handle == nullptr || statistics == nullptr) return ErrorCode_InvalidArgument;
    static_cast<sDiscoveryHandle*>(handle)->discovery->GetStatistics(statistics);
    return ErrorCode_OK;
}

}  // extern "C"
