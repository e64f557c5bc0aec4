#include "vrhost/host/driver_library.h"

#include "vrhost/host/host_error.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

namespace vrhost {

#if defined(_WIN32)

namespace {

std::string LastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? "" : " (" + message + ")");
}

}  // namespace

std::unique_ptr<cDriverLibrary> cDriverLibrary::Open(const std::filesystem::path& library) {
    // The driver's own dependencies are searched beside it, as the runtime does.
    const std::filesystem::path absolute = std::filesystem::absolute(library);
    HMODULE module = LoadLibraryExW(absolute.wstring().c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module) throw cHostError("cannot load driver library " + library.u8string() + ": " + LastErrorText());
    auto factory = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(module, "HmdDriverFactory")));
    if (!factory) {
        FreeLibrary(module);
        throw cHostError("driver library " + library.u8string() + " does not export HmdDriverFactory");
    }
    return std::unique_ptr<cDriverLibrary>(new cDriverLibrary(module, factory, library));
}

cDriverLibrary::~cDriverLibrary() { FreeLibrary(static_cast<HMODULE>(mHandle)); }

#else

std::unique_ptr<cDriverLibrary> cDriverLibrary::Open(const std::filesystem::path& library) {
    const std::filesystem::path absolute = std::filesystem::absolute(library);
    void* handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        throw cHostError("cannot load driver library " + library.u8string() + ": " + (reason ? reason : "unknown error"));
    }
    dlerror();
    auto factory = reinterpret_cast<FactoryFn>(dlsym(handle, "HmdDriverFactory"));
    if (!factory) {
        dlclose(handle);
        throw cHostError("driver library " + library.u8string() + " does not export HmdDriverFactory");
    }
    return std::unique_ptr<cDriverLibrary>(new cDriverLibrary(handle, factory, library));
}

cDriverLibrary::~cDriverLibrary() { dlclose(mHandle); }

#endif

}  // namespace vrhost
