// Which process this is, and whether another one still runs: how a registration
// left behind by a vrhost that died is told from a live one.
#pragma once

#include <cstdint>

namespace vrhost::link {

uint32_t CurrentProcessId();
bool ProcessIsRunning(uint32_t pid);

}  // namespace vrhost::link
