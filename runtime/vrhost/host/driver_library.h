// A loaded driver library and its entry point HmdDriverFactory.
#pragma once

#include <filesystem>
#include <memory>

namespace vrhost {

class cDriverLibrary {
public:
    using FactoryFn = void* (*)(const char* interfaceName, int* returnCode);

    // Loads the library (dlopen / LoadLibraryW) and finds HmdDriverFactory.
    // Throws cHostError when either fails.
    static std::unique_ptr<cDriverLibrary> Open(const std::filesystem::path& library);

    ~cDriverLibrary();
    cDriverLibrary(const cDriverLibrary&) = delete;
    cDriverLibrary& operator=(const cDriverLibrary&) = delete;

    FactoryFn Factory() const { return mFactory; }
    const std::filesystem::path& Path() const { return mPath; }

private:
    cDriverLibrary(void* handle, FactoryFn factory, std::filesystem::path path)
        : mHandle(handle), mFactory(factory), mPath(std::move(path)) {}

    void* mHandle;
    FactoryFn mFactory;
    std::filesystem::path mPath;
};

}  // namespace vrhost
