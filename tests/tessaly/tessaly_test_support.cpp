#include "tessaly_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace tessaly_test {

namespace {
std::mutex gLogMutex;
std::vector<std::string> gLogLines;
}  // namespace

cScopedEnvironment::cScopedEnvironment(const char* name, const std::string& value) : mName(name) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

cScopedEnvironment::~cScopedEnvironment() {
#if defined(_WIN32)
    _putenv_s(mName.c_str(), "");
#else
    unsetenv(mName.c_str());
#endif
}

cLogCapture::cLogCapture() {
    std::lock_guard<std::mutex> lock(gLogMutex);
    gLogLines.clear();
    Tessaly_SetLogCallback(&cLogCapture::Callback);
}

cLogCapture::~cLogCapture() { Tessaly_SetLogCallback(nullptr); }

void cLogCapture::Callback(int32_t level, const char* message) {
    std::lock_guard<std::mutex> lock(gLogMutex);
    gLogLines.push_back(std::to_string(level) + " " + message);
}

bool cLogCapture::Contains(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(gLogMutex);
    for (const std::string& line : gLogLines)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

std::vector<std::string> cLogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(gLogMutex);
    return gLogLines;
}

bool WaitUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

sTessalyClientConnectParams ParamsFor(const tessaly::server::cMocapServer& server, ConnectionType type) {
    // The address text must outlive the call: keep it in static storage per thread.
    thread_local std::string address;
    address = server.Address();
    sTessalyClientConnectParams params{};
    params.connectionType = type;
    params.serverCommandPort = server.Port();
    params.serverAddress = address.c_str();
    params.localAddress = "127.0.0.1";
    return params;
}

std::unique_ptr<tessaly::server::cMocapServer> StartServer(tessaly::server::sMocapServerConfig config) {
    auto server = std::make_unique<tessaly::server::cMocapServer>(std::move(config));
    std::string error;
    EXPECT_TRUE(server->Start(&error)) << error;
    return server;
}

int32_t FirstInt(const void* response) {
    int32_t value;
    std::memcpy(&value, response, sizeof value);
    return value;
}

}  // namespace tessaly_test
