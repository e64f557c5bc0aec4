// Reading and writing single device properties through IVRProperties batches.
#pragma once

#include <openvr_driver.h>

#include <cstdint>
#include <string>

namespace halvex::properties {

// A string property: a 1024-byte read first, again at the size the runtime asks
// for when that is too small. On any error the result is empty.
std::string ReadString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                       vr::ETrackedPropertyError* error = nullptr);

// Raw bytes of a fixed-size property with the expected tag (vectors, matrices).
vr::ETrackedPropertyError ReadFixed(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                    vr::PropertyTypeTag_t tag, void* value, uint32_t size);

// A null value is refused without calling the runtime.
vr::ETrackedPropertyError WriteString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                      const char* value);
vr::ETrackedPropertyError WriteUint64(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                      uint64_t value);

}  // namespace halvex::properties
