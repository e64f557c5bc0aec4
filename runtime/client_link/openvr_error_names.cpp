#include "client_link/openvr_error_names.h"

#include <openvr_driver.h>

namespace vrhost::link {

const char* SettingsErrorName(int error) {
    switch (static_cast<vr::EVRSettingsError>(error)) {
        case vr::VRSettingsError_None: return "VRSettingsError_None";
        case vr::VRSettingsError_IPCFailed: return "VRSettingsError_IPCFailed";
        case vr::VRSettingsError_WriteFailed: return "VRSettingsError_WriteFailed";
        case vr::VRSettingsError_ReadFailed: return "VRSettingsError_ReadFailed";
        case vr::VRSettingsError_JsonParseFailed: return "VRSettingsError_JsonParseFailed";
        case vr::VRSettingsError_UnsetSettingHasNoDefault: return "VRSettingsError_UnsetSettingHasNoDefault";
    }
    return "Unknown settings error";
}

const char* PropertyErrorName(int error) {
    switch (static_cast<vr::ETrackedPropertyError>(error)) {
        case vr::TrackedProp_Success: return "TrackedProp_Success";
        case vr::TrackedProp_WrongDataType: return "TrackedProp_WrongDataType";
        case vr::TrackedProp_WrongDeviceClass: return "TrackedProp_WrongDeviceClass";
        case vr::TrackedProp_BufferTooSmall: return "TrackedProp_BufferTooSmall";
        case vr::TrackedProp_UnknownProperty: return "TrackedProp_UnknownProperty";
        case vr::TrackedProp_InvalidDevice: return "TrackedProp_InvalidDevice";
        case vr::TrackedProp_CouldNotContactServer: return "TrackedProp_CouldNotContactServer";
        case vr::TrackedProp_ValueNotProvidedByDevice: return "TrackedProp_ValueNotProvidedByDevice";
        case vr::TrackedProp_StringExceedsMaximumLength: return "TrackedProp_StringExceedsMaximumLength";
        case vr::TrackedProp_NotYetAvailable: return "TrackedProp_NotYetAvailable";
        case vr::TrackedProp_PermissionDenied: return "TrackedProp_PermissionDenied";
        case vr::TrackedProp_InvalidOperation: return "TrackedProp_InvalidOperation";
        case vr::TrackedProp_CannotWriteToWildcards: return "TrackedProp_CannotWriteToWildcards";
        case vr::TrackedProp_IPCReadFailure: return "TrackedProp_IPCReadFailure";
        case vr::TrackedProp_OutOfMemory: return "TrackedProp_OutOfMemory";
        case vr::TrackedProp_InvalidContainer: return "TrackedProp_InvalidContainer";
    }
    return "TrackedProp_Unknown";
}

}  // namespace vrhost::link
