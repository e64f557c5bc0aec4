// Registers an entry point written directly for libFuzzer, so that the corpus test
// replays its corpus like any registered target's.
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

HALVEX_FUZZ_TARGET(own_entry, LLVMFuzzerTestOneInput);
