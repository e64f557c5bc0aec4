#include "oculus_test_support.h"

#include "core/driver_log.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace halvex::test {
namespace {

void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");  // an empty value removes it
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

}  // namespace

std::string UniqueMappingName(const char* tag) {
#if defined(_WIN32)
    const long long pid = _getpid();
#else
    const long long pid = getpid();
#endif
    return std::string("HalvexOculusTest-") + tag + "-" + std::to_string(pid);
}

cChildEnvironment::cChildEnvironment(const std::string& mappingName) {
    for (const char* name : {"HALVEX_OCULUS_SIM_SCENARIO", "HALVEX_OCULUS_SIM_RIGID_BODY", "HALVEX_OCULUS_SIM_EXIT_AFTER",
                             "HALVEX_OCULUS_SIM_STALL_AFTER", "HALVEX_OCULUS_SIM_BAD_INDEX_AFTER",
                             "HALVEX_OCULUS_SIM_LIFETIME"}) {
        mNames.emplace_back(name);
        SetVariable(name, nullptr);
    }
    // Children of a test that fails half-way end by themselves.
    SetVariable("HALVEX_OCULUS_SIM_LIFETIME", "60");
    mNames.emplace_back("HALVEX_OCULUS_SIM_MAPPING");
    SetVariable("HALVEX_OCULUS_SIM_MAPPING", mappingName.c_str());
}

cChildEnvironment::~cChildEnvironment() {
    for (const std::string& name : mNames) SetVariable(name.c_str(), nullptr);
}

void cChildEnvironment::Set(const char* name, const char* value) { SetVariable(name, value); }

cScopedDriverLog::cScopedDriverLog() { InstallDriverLogSink(&mLog); }

cScopedDriverLog::~cScopedDriverLog() { RemoveDriverLogSink(); }

int cScopedDriverLog::CountContaining(const std::string& text) const {
    int count = 0;
    for (const std::string& line : mLog.Lines())
        if (line.find(text) != std::string::npos) ++count;
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace halvex::test
