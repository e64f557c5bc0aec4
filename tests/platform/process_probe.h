// Whether a process still runs, for tests that check a child does not outlive its parent.
#pragma once

#include <cstdint>

namespace halvex::test {

// False once the process has ended (a zombie waiting for its reaper counts as ended).
bool ProcessIsAlive(int64_t processId);

}  // namespace halvex::test
