// Faults corvane_sim injects on command (--control-stdin), one command a line:
//   silence SECONDS       streams nothing for that long (connections and answers go on)
//   garbage COUNT         sends COUNT malformed datagrams to every client, one every 4 ms
//   nan-frames COUNT      the next COUNT frames carry a NaN position
//   absurd-count COUNT    the next COUNT frames claim 65535 rigid bodies
// Every command is bounded: at most 600 s of silence, 100000 datagrams or frames.
#pragma once

#include "tessaly/server/mocap_server.h"

#include <atomic>
#include <string>

namespace corvane_sim {

// Carries out one command; blocks while it lasts (silence, garbage) unless `stop`
// turns true. False with a reason for a line it cannot use.
bool RunFaultCommand(const std::string& line, tessaly::server::cMocapServer& server, const std::atomic<bool>& stop,
                     std::string* error);

}  // namespace corvane_sim
