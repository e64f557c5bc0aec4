#include "platform/thread_name.h"

#include "utf8_win32.h"

#include <windows.h>
#if !defined(_MSC_VER)
#include <pthread.h>
#endif

namespace halvex::platform {
namespace {

// Looked up at run time: Windows before 10 (1607), and some Wine versions, lack them.
using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

FARPROC Kernel32Function(const char* name) {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

}  // namespace

bool NameThread(std::thread& thread, const char* name) {
    if (!thread.joinable() || !name) return false;
    const auto setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void (*)()>(Kernel32Function("SetThreadDescription")));
    if (!setDescription) return false;
#if defined(_MSC_VER)
    HANDLE handle = thread.native_handle();
#else
    // With winpthreads the native handle is a pthread_t; its Win32 handle is needed.
    HANDLE handle = static_cast<HANDLE>(pthread_gethandle(thread.native_handle()));
#endif
    return handle && SUCCEEDED(setDescription(handle, WideFromUtf8(name).c_str()));
}

std::string CurrentThreadName() {
    const auto getDescription = reinterpret_cast<GetDescription>(
        reinterpret_cast<void (*)()>(Kernel32Function("GetThreadDescription")));
    if (!getDescription) return std::string();
    PWSTR description = nullptr;
    if (FAILED(getDescription(GetCurrentThread(), &description)) || !description) return std::string();
    const std::string name = Utf8FromWide(description);
    LocalFree(description);
    return name;
}

}  // namespace halvex::platform
