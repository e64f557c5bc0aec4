#include "process_resources.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace soak {

sProcessResources MeasureProcessResources() {
    sProcessResources out;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            out.residentMiB = kib / 1024.0;
        } else if (key == "Threads:") {
            status >> out.threads;
        }
        std::getline(status, key);
    }
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++out.openDescriptors;
    return out;
}

}  // namespace soak
