// Fuzz targets register themselves by name, so that one libFuzzer program can be
// built per target and the test suite can run every target's corpus with any
// compiler. A target aborts when an invariant breaks; returning means the input
// was handled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex::fuzz {

using FuzzFunction = int (*)(const uint8_t* data, size_t size);

struct sFuzzTarget {
    const char* name;
    FuzzFunction run;
};

const std::vector<sFuzzTarget>& Targets();

struct cFuzzTargetRegistration {
    cFuzzTargetRegistration(const char* name, FuzzFunction run);
};

// Prints what broke and aborts: libFuzzer keeps the input, a test run fails.
[[noreturn]] void Fail(const char* target, const char* what);

}  // namespace halvex::fuzz

#define HALVEX_FUZZ_TARGET(name, function) \
    static const ::halvex::fuzz::cFuzzTargetRegistration gFuzzTarget_##name(#name, function)
