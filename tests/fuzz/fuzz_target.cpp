#include "fuzz_target.h"

#include <cstdio>
#include <cstdlib>

namespace halvex::fuzz {

namespace {

std::vector<sFuzzTarget>& Registry() {
    static std::vector<sFuzzTarget> targets;
    return targets;
}

}  // namespace

const std::vector<sFuzzTarget>& Targets() { return Registry(); }

cFuzzTargetRegistration::cFuzzTargetRegistration(const char* name, FuzzFunction run) {
    Registry().push_back({name, run});
}

void Fail(const char* target, const char* what) {
    std::fprintf(stderr, "fuzz target %s: %s\n", target, what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace halvex::fuzz
