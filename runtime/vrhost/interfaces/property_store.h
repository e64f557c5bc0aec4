// IVRProperties_001: property containers with type-tagged values, one per tracked
// device (index 0, the simulated headset, included) and for anything else the host
// hands a container for. Reads follow the runtime's buffer-too-small protocol.
// Called from any driver thread.
#pragma once

#include <openvr_driver.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vrhost {

struct sPropertyRecord {
    vr::ETrackedDeviceProperty prop = vr::Prop_Invalid;
    vr::PropertyTypeTag_t tag = vr::k_unInvalidPropertyTag;
    std::vector<uint8_t> bytes;                                // as written
    vr::ETrackedPropertyError error = vr::TrackedProp_Success; // set by PropertyWrite_SetError
    uint32_t driverWrites = 0;                                 // writes through WritePropertyBatch
};

class cPropertyStore final : public vr::IVRProperties {
public:
    // A new, empty container; handles are never 0 and never small integers, so a
    // device index passed by mistake is refused.
    vr::PropertyContainerHandle_t CreateContainer();
    // The container of a tracked device index; created on first use by the host.
    vr::PropertyContainerHandle_t AttachDevice(vr::TrackedDeviceIndex_t index);

    // The host's own values (not counted as driver writes).
    void HostSetString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                       const std::string& value);
    void HostSetInt32(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, int32_t value);
    // Any fixed-size value with its type tag (vectors, matrices).
    void HostSetBytes(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                      vr::PropertyTypeTag_t tag, const void* data, size_t size);

    // Every property of a container, ordered by property id.
    std::vector<sPropertyRecord> Snapshot(vr::PropertyContainerHandle_t container) const;

    vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t ulContainerHandle,
                                                vr::PropertyRead_t* pBatch, uint32_t unBatchEntryCount) override;
    vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t ulContainerHandle,
                                                 vr::PropertyWrite_t* pBatch, uint32_t unBatchEntryCount) override;
    const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) override;
    vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t nDevice) override;

private:
    using Container = std::map<vr::ETrackedDeviceProperty, sPropertyRecord>;
    void HostSetLocked(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                       vr::PropertyTypeTag_t tag, const void* data, size_t size);

    mutable std::mutex mMutex;
    std::map<vr::PropertyContainerHandle_t, Container> mContainers;
    std::map<vr::TrackedDeviceIndex_t, vr::PropertyContainerHandle_t> mDeviceContainers;
    vr::PropertyContainerHandle_t mNextHandle = 0x100000001ull;
};

// "Prop_SerialNumber_String" for the properties vrhost knows by name, else "Prop_<id>".
std::string PropertyName(vr::ETrackedDeviceProperty prop);
// "string", "uint64", ... from the tag.
const char* PropertyTypeName(vr::PropertyTypeTag_t tag);
// The value as readable text: strings quoted and escaped, numbers, vectors as
// comma lists, unknown tags as hex bytes.
std::string FormatPropertyValue(const sPropertyRecord& record);

}  // namespace vrhost
