// Shared pieces of the Oculus tests: a private mapping name per test, the stand-in
// child's options, a log that is captured, waiting for conditions.
#pragma once

#include "../core/fake_host.h"

#include <functional>
#include <string>
#include <vector>

namespace halvex::test {

// A mapping name no other test run on this machine uses.
std::string UniqueMappingName(const char* tag);

// Sets (or, with nullptr, clears) every option variable of the stand-in child for one
// scope; the mapping name always.
class cChildEnvironment {
public:
    explicit cChildEnvironment(const std::string& mappingName);
    ~cChildEnvironment();
    void Set(const char* name, const char* value);

private:
    std::vector<std::string> mNames;
};

// Captures the driver log for one scope.
class cScopedDriverLog {
public:
    cScopedDriverLog();
    ~cScopedDriverLog();
    std::vector<std::string> Lines() const { return mLog.Lines(); }
    int CountContaining(const std::string& text) const;

private:
    cCapturingLog mLog;
};

bool WaitUntil(const std::function<bool()>& condition, double seconds);

}  // namespace halvex::test
