// The library's single export: the runtime asks it for the device provider.
#include "core/device_provider.h"

#include <cstring>

#if defined(_WIN32)
#define HALVEX_EXPORT extern "C" __declspec(dllexport)
#else
#define HALVEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

HALVEX_EXPORT void* HmdDriverFactory(const char* pInterfaceName, int* pReturnCode) {
    if (pInterfaceName && std::strcmp(pInterfaceName, vr::IServerTrackedDeviceProvider_Version) == 0)
        return &TheDeviceProvider();
    if (pReturnCode) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}
