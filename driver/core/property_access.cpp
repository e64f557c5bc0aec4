#include "core/property_access.h"

#include "core/host_interfaces.h"

#include <cstring>
#include <vector>

namespace halvex::properties {
namespace {

vr::ETrackedPropertyError ReadInto(vr::IVRProperties* properties, vr::PropertyContainerHandle_t container,
                                   vr::ETrackedDeviceProperty prop, void* buffer, uint32_t size,
                                   vr::PropertyTypeTag_t* tag, uint32_t* required) {
    vr::PropertyRead_t read{};
    read.prop = prop;
    read.pvBuffer = buffer;
    read.unBufferSize = size;
    const vr::ETrackedPropertyError batchError = properties->ReadPropertyBatch(container, &read, 1);
    *tag = read.unTag;
    *required = read.unRequiredBufferSize;
    return batchError != vr::TrackedProp_Success ? batchError : read.eError;
}

vr::ETrackedPropertyError Write(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                vr::PropertyTypeTag_t tag, const void* value, uint32_t size) {
    vr::IVRProperties* properties = host::Properties();
    if (!properties) return vr::TrackedProp_InvalidOperation;
    vr::PropertyWrite_t write{};
    write.prop = prop;
    write.writeType = vr::PropertyWrite_Set;
    write.pvBuffer = const_cast<void*>(value);
    write.unBufferSize = size;
    write.unTag = tag;
    const vr::ETrackedPropertyError batchError = properties->WritePropertyBatch(container, &write, 1);
    return batchError != vr::TrackedProp_Success ? batchError : write.eError;
}

}  // namespace

std::string ReadString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                       vr::ETrackedPropertyError* errorOut) {
    vr::ETrackedPropertyError error = vr::TrackedProp_InvalidOperation;
    std::string result;
    if (vr::IVRProperties* properties = host::Properties()) {
        std::vector<char> buffer(1024, '\0');
        vr::PropertyTypeTag_t tag = 0;
        uint32_t required = 0;
        error = ReadInto(properties, container, prop, buffer.data(), static_cast<uint32_t>(buffer.size()), &tag,
                         &required);
        if (error == vr::TrackedProp_BufferTooSmall && required > 0) {
            buffer.assign(required, '\0');
            error = ReadInto(properties, container, prop, buffer.data(), required, &tag, &required);
        }
        if (error == vr::TrackedProp_Success && tag != vr::k_unStringPropertyTag) error = vr::TrackedProp_WrongDataType;
        // The runtime's answer is taken up to its first NUL and never past the buffer.
        if (error == vr::TrackedProp_Success) result.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }
    if (errorOut) *errorOut = error;
    return result;
}

vr::ETrackedPropertyError ReadFixed(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                    vr::PropertyTypeTag_t expectedTag, void* value, uint32_t size) {
    vr::IVRProperties* properties = host::Properties();
    if (!properties) return vr::TrackedProp_InvalidOperation;
    vr::PropertyTypeTag_t tag = 0;
    uint32_t required = 0;
    vr::ETrackedPropertyError error = ReadInto(properties, container, prop, value, size, &tag, &required);
    if (error == vr::TrackedProp_Success && tag != expectedTag) error = vr::TrackedProp_WrongDataType;
    return error;
}

vr::ETrackedPropertyError WriteString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                      const char* value) {
    if (!value) return vr::TrackedProp_InvalidOperation;
    return Write(container, prop, vr::k_unStringPropertyTag, value, static_cast<uint32_t>(std::strlen(value) + 1));
}

vr::ETrackedPropertyError WriteUint64(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                      uint64_t value) {
    return Write(container, prop, vr::k_unUint64PropertyTag, &value, sizeof(value));
}

}  // namespace halvex::properties
