// Helpers shared by the client, frame and discovery tests.
#pragma once

#include "TessalyClient.h"
#include "tessaly/server/mocap_server.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly_test {

// Sets an environment variable for the life of the object.
class cScopedEnvironment {
public:
    cScopedEnvironment(const char* name, const std::string& value);
    ~cScopedEnvironment();

private:
    std::string mName;
};

// Collects the library's log lines while alive.
class cLogCapture {
public:
    cLogCapture();
    ~cLogCapture();
    bool Contains(const std::string& fragment) const;
    std::vector<std::string> Lines() const;

private:
    static void Callback(int32_t level, const char* message);
};

bool WaitUntil(const std::function<bool()>& condition, double timeoutSeconds);

sTessalyClientConnectParams ParamsFor(const tessaly::server::cMocapServer& server,
                                      ConnectionType type = ConnectionType_Unicast);

// A started server on 127.0.0.1 with a free port.
std::unique_ptr<tessaly::server::cMocapServer> StartServer(tessaly::server::sMocapServerConfig config = {});

int32_t FirstInt(const void* response);

}  // namespace tessaly_test
