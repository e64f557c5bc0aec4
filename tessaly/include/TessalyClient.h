// Tessaly streaming client: connection to a motion-capture server, commands,
// frame delivery, server discovery and the library's log.
//
// Threads: each connected client owns one frame thread, which receives every
// datagram of the connection and calls the frame callback; each discovery owns one
// thread, which calls the discovery callback. Neither callback runs after
// Disconnect / Tessaly_FreeAsyncServerDiscovery has returned. Both may be called
// from inside a callback, including the callback of the object being stopped.
//
// Network: loopback (127.0.0.0/8) only, in both directions.
#pragma once

#include "TessalyTypes.h"

struct sTessalyClientImpl;

class TESSALY_API TessalyClient {
public:
    TessalyClient();
    ~TessalyClient();  // disconnects
    TessalyClient(const TessalyClient&) = delete;
    TessalyClient& operator=(const TessalyClient&) = delete;

    // Blocks until the server accepts or refuses (its code is returned) or does not
    // answer (ErrorCode_Network). Connecting a connected client reconnects it.
    ErrorCode Connect(const sTessalyClientConnectParams& params);
    ErrorCode GetServerDescription(sServerDescription* description);

    // Sends a command and waits for the server's answer; 3 tries of 500 ms.
    // *response points at library memory, valid until this thread's next command on
    // this client or Disconnect; null with *size 0 when the server sent no content.
    // Not allowed on the frame thread (ErrorCode_InvalidOperation).
    ErrorCode SendMessageAndWait(const char* request, void** response, int* size);
    ErrorCode SendMessageAndWait(const char* request, int tries, int timeoutMs, void** response, int* size);

    // The callback runs on the frame thread for every frame until Disconnect.
    // The record is valid only during the call.
    ErrorCode SetFrameReceivedCallback(TessalyFrameCallbackFunc callback, void* userData);

    // Seconds elapsed since the given server-clock tick count, through the server's
    // tick frequency and the clock offset measured with the server. Negative when
    // the tick lies in the future or cannot be mapped (not connected, tick 0).
    double SecondsSinceHostTimestamp(uint64_t serverTicks) const;

    // Returns once no frame callback can run any more.
    ErrorCode Disconnect();

    // Not part of the streaming contract: counters for diagnosis and tests.
    ErrorCode GetStatistics(sTessalyStatistics* statistics) const;

private:
    sTessalyClientImpl* mImpl;
};

static_assert(sizeof(TessalyClient) == 8, "clients allocate the client object themselves");

extern "C" {

// Null switches library messages off. Messages carry no line end.
TESSALY_API void Tessaly_SetLogCallback(TessalyLogCallbackFunc callback);

// Probes 127.0.0.1 (port TESSALY_DEFAULT_SERVER_PORT), or the comma-separated list
// "address[:port],..." in the environment variable TESSALY_DISCOVERY_ADDRESSES, from
// 127.0.0.1 or from each loopback address in TESSALY_DISCOVERY_LOCAL_ADDRESSES.
// Non-loopback entries are refused with a log message. Every answer is reported.
// Probing stops after TESSALY_DISCOVERY_ROUNDS rounds of 0.5 s (default: two hours).
// *handle is written before the discovery thread starts, so callbacks may use it.
TESSALY_API ErrorCode Tessaly_CreateAsyncServerDiscovery(TessalyDiscoveryHandle* handle,
                                                         TessalyServerDiscoveryCallbackFunc callback,
                                                         void* userContext);

// Returns once no discovery callback can run any more. Allowed inside the callback.
TESSALY_API ErrorCode Tessaly_FreeAsyncServerDiscovery(TessalyDiscoveryHandle handle);

TESSALY_API ErrorCode Tessaly_GetDiscoveryStatistics(TessalyDiscoveryHandle handle, sTessalyStatistics* statistics);

}  // extern "C"
