// The vrhost program: option parsing and the session it runs. Kept in the library
// so tests run the program's logic in-process.
#pragma once

#include "vrhost/clients/client_device_view.h"
#include "vrhost/host/host_options.h"

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace vrhost {

struct sCommandLine {
    sHostOptions host;
    std::string driver;             // --driver DIR|LIBRARY
    double durationSeconds = -1.0;  // --duration; negative: until interrupted
    std::vector<sOtherController> otherControllers;  // --controller SYSTEM/SERIAL, for client programs
    bool help = false;
};

// Parses the arguments (without the program name). On failure returns false and
// sets `error` to a one-line reason.
bool ParseCommandLine(const std::vector<std::string>& args, sCommandLine& commandLine, std::string& error);

std::string UsageText();

// Exit codes of the program.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // manifest, library, settings, files
constexpr int kExitUsage = 2;     // the command line itself

// The whole program: parse, load, Init, frames until the duration ends or *stop
// turns true, Cleanup, unload, summary on `out`. The driver log is echoed to
// `out`; errors go to `err` as one line.
int RunVrhost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const std::atomic<bool>* stop);

}  // namespace vrhost
