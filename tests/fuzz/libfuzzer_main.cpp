// libFuzzer's entry point for a program built with exactly one target.
#include "fuzz_target.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const halvex::fuzz::FuzzFunction run = [] {
        const auto& targets = halvex::fuzz::Targets();
        if (targets.size() != 1) {
            std::fprintf(stderr, "a fuzz program needs exactly one target, it has %zu\n", targets.size());
            std::abort();
        }
        return targets.front().run;
    }();
    return run(data, size);
}
