// vrhost: the stand-in VR runtime server as a program. Ctrl+C ends the session
// cleanly: Cleanup, unload, summary.
#include "vrhost/host/command_line.h"

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <csignal>
#endif

namespace {

std::atomic<bool> gStopRequested{false};
std::atomic<bool> gSessionDone{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    gStopRequested.store(true);
    // Closing the console ends the process when this handler returns (about 5 s at
    // most): hold it until the driver is cleaned up and unloaded.
    if (type == CTRL_CLOSE_EVENT) {
        for (int i = 0; i < 90 && !gSessionDone.load(); ++i) Sleep(50);
    }
    return TRUE;
}

std::string ToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

// Paths are UTF-8 inside vrhost; the narrow argv would lose characters outside the code page.
std::vector<std::string> Arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) args.push_back(ToUtf8(wide[i]));
    if (wide) LocalFree(wide);
    return args;
}
#else
void OnSignal(int) { gStopRequested.store(true); }

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#endif
    const int code = vrhost::RunVrhost(Arguments(argc, argv), std::cout, std::cerr, &gStopRequested);
    gSessionDone.store(true);
    return code;
}
