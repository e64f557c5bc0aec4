#include "platform/module_location.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace halvex::platform {

std::string ThisModuleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisModuleFolder), &info) == 0 || !info.dli_fname) return {};
    // dli_fname is the path the module was loaded by; for the program itself it may be
    // a bare name, and then the kernel's link is the better answer.
    char resolved[PATH_MAX];
    std::string path;
    if (std::string(info.dli_fname).find('/') != std::string::npos && realpath(info.dli_fname, resolved)) {
        path = resolved;
    } else {
        const ssize_t length = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
        if (length <= 0) return {};
        path.assign(resolved, static_cast<std::size_t>(length));
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

}  // namespace halvex::platform
