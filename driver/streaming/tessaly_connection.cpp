// Connecting to a discovered server and setting the server-side subscriptions.
#include "core/device_provider.h"
#include "core/driver_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum class eCommandOutcome { Failed, NullResponse, Success, UnexpectedResponse };

struct sCommandResult {
    ErrorCode error = ErrorCode_OK;
    eCommandOutcome outcome = eCommandOutcome::Failed;
    int size = 0;
    int32_t first = 0;  // the response's first 32-bit integer, when it has one
};

// A response counts as success when it is exactly one 32-bit integer 0.
sCommandResult Classify(ErrorCode error, const void* response, int size) {
    sCommandResult result;
    result.error = error;
    result.size = size;
    if (error != ErrorCode_OK) return result;
    if (!response) {
        result.outcome = eCommandOutcome::NullResponse;
        return result;
    }
    // Never read past what the library handed over.
    if (size >= static_cast<int>(sizeof(int32_t))) std::memcpy(&result.first, response, sizeof(int32_t));
    result.outcome = (size == 4 && result.first == 0) ? eCommandOutcome::Success : eCommandOutcome::UnexpectedResponse;
    return result;
}

sCommandResult Send(TessalyClient* client, const char* command) {
    void* response = nullptr;
    int size = 0;
    const ErrorCode error = client->SendMessageAndWait(command, &response, &size);
    return Classify(error, response, size);
}

sCommandResult SendWithRetries(TessalyClient* client, const char* command, int tries, int timeoutMs) {
    void* response = nullptr;
    int size = 0;
    const ErrorCode error = client->SendMessageAndWait(command, tries, timeoutMs, &response, &size);
    return Classify(error, response, size);
}

}  // namespace

bool cHalvexDeviceProvider::ConnectTessaly(sTessalyClientConnectParams& params) {
    DriverLog("Initializing Tessaly in %s, server: %s, client: %s, rigid body ID: %d\n",
              params.connectionType == ConnectionType_Multicast ? "multicast" : "unicast",
              params.serverAddress ? params.serverAddress : "", params.localAddress ? params.localAddress : "",
              mRigidBodyIdHead.load());

    // Raised before the client is published, lowered after mLastFrameTime is stamped:
    // the watchdog never judges (and tears down) a client this thread is still using.
    mConnecting.store(true);
    struct sConnectingGuard {
        std::atomic<bool>& flag;
        ~sConnectingGuard() { flag.store(false); }
    } connecting{mConnecting};

    // The client lives in 8 bytes of our own, as the library's API expects.
    void* storage = std::malloc(sizeof(TessalyClient));
    if (!storage) throw std::bad_alloc();
    TessalyClient* client = nullptr;
    try {
        client = new (storage) TessalyClient();
    } catch (...) {
        std::free(storage);
        throw;
    }
    mClient.store(client);

    ErrorCode error = client->Connect(params);
    if (error != ErrorCode_OK) {
        DriverLog("TessalyClient::Connect returned error code %d\n", static_cast<int>(error));
        TeardownClient();
        return false;
    }
    error = client->GetServerDescription(&mServerDescription);
    if (error != ErrorCode_OK) {
        DriverLog("TessalyClient::GetServerDescription returned error code %d\n", static_cast<int>(error));
        TeardownClient();
        return false;
    }

    SubscribeRigidBodies(client);

    error = client->SetFrameReceivedCallback(&cHalvexDeviceProvider::OnFrameReceived, this);
    if (error != ErrorCode_OK) {
        DriverLog("TessalyClient::SetFrameReceivedCallback returned error code %d\n", static_cast<int>(error));
        TeardownClient();
        return false;
    }
    mLastFrameTime.store(DriverTimeNow());
    return true;
}

void cHalvexDeviceProvider::SubscribeRigidBodies(TessalyClient* client) {
    const sCommandResult clear = Send(client, "SubscribeToData");
    if (clear.error != ErrorCode_OK) {
        DriverLog("Tessaly filter clear failed (error code %d)\n", static_cast<int>(clear.error));
    } else if (clear.outcome == eCommandOutcome::NullResponse) {
        DriverLog("Tessaly filter clear failed (pResponse == nullptr)\n");
    } else {
        const sCommandResult none = Send(client, "SubscribeToData,AllTypes,None");
        if (none.error != ErrorCode_OK)
            DriverLog("Tessaly unsubscribe failed (error code %d)\n", static_cast<int>(none.error));
        else if (none.outcome == eCommandOutcome::NullResponse)
            DriverLog("Tessaly unsubscribe failed (pResponse == nullptr)\n");
        else if (none.outcome == eCommandOutcome::Success)
            DriverLog("Tessaly subscriptions successfully reset\n");
        else
            DriverLog("Tessaly unsubscribe failed (response size %d, response[0] == %d)\n", none.size, none.first);
    }

    if (mHeadDevice) SubscribeRigidBody(mRigidBodyIdHead);
    if (mControllerADevice) SubscribeRigidBody(mRigidBodyIdControllerA);
    if (mControllerBDevice) SubscribeRigidBody(mRigidBodyIdControllerB);
}

bool cHalvexDeviceProvider::SubscribeRigidBody(int32_t id) {
    TessalyClient* client = mClient.load();
    if (!client) return false;
    char command[64];
    std::snprintf(command, sizeof(command), "SubscribeByID,RigidBody,%d", static_cast<int>(id));
    const sCommandResult result = SendWithRetries(client, command, 3, 2000);
    switch (result.outcome) {
        case eCommandOutcome::Success:
            DriverLog("Tessaly SubscribeByID succeeded (RB %d)\n", static_cast<int>(id));
            return true;
        case eCommandOutcome::NullResponse:
            DriverLog("Tessaly SubscribeByID failed (pResponse == nullptr)\n");
            return false;
        case eCommandOutcome::UnexpectedResponse:
            DriverLog("Tessaly SubscribeByID failed (response size %d, response[0] == %d)\n", result.size, result.first);
            return false;
        case eCommandOutcome::Failed:
        default:
            DriverLog("SubscribeByID failed (error code %d)\n", static_cast<int>(result.error));
            return false;
    }
}

void cHalvexDeviceProvider::TeardownClient() {
    // The watchdog and Cleanup may both get here: whoever takes the pointer frees it,
    // and a client connected meanwhile by the discovery thread is never overwritten.
    TessalyClient* client = mClient.exchange(nullptr);
    if (!client) return;
    mLastFrameTime.store(DBL_MAX);
    // Disconnect returns only once frame delivery has stopped; then nothing uses it.
    client->Disconnect();
    client->~TessalyClient();
    std::free(client);
}
