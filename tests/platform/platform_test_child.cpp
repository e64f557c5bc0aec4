// Helper program of the platform tests.
//   platform_test_child                       sleeps HALVEX_TEST_CHILD_SLEEP seconds (default 0), exits 0
//   platform_test_child spawn PIDFILE SECONDS launches itself to sleep SECONDS, writes that
//                                             child's id to PIDFILE and ends abruptly,
//                                             without any clean-up
#include "platform/child_process.h"
#include "platform/module_location.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc == 1) {
        const char* seconds = std::getenv("HALVEX_TEST_CHILD_SLEEP");
        if (seconds) std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(seconds)));
        return 0;
    }
    if (argc >= 4 && std::string(argv[1]) == "spawn") {
        // A launched child gets no arguments, so the grandchild learns its part from the environment.
        const std::string seconds = std::string("HALVEX_TEST_CHILD_SLEEP=") + argv[3];
#if defined(_WIN32)
        _putenv(seconds.c_str());
#else
        putenv(const_cast<char*>(seconds.c_str()));
#endif
        halvex::platform::cChildProcess child;
        if (!child.Launch(halvex::platform::ThisModuleFolder() +
                          halvex::platform::ExecutableFileName("platform_test_child")))
            return 3;
        std::FILE* file = std::fopen(argv[2], "w");
        if (!file) return 4;
        std::fprintf(file, "%lld\n", static_cast<long long>(child.ProcessId()));
        std::fclose(file);
        std::_Exit(0);  // no destructor may end the grandchild
    }
    return 2;
}
