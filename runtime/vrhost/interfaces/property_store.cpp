#include "vrhost/interfaces/property_store.h"

#include "client_link/openvr_error_names.h"

#include "vrhost/host/text_format.h"

#include <cstring>

namespace vrhost {

vr::PropertyContainerHandle_t cPropertyStore::CreateContainer() {
    std::lock_guard<std::mutex> lock(mMutex);
    const vr::PropertyContainerHandle_t handle = mNextHandle++;
    mContainers[handle];
    return handle;
}

vr::PropertyContainerHandle_t cPropertyStore::AttachDevice(vr::TrackedDeviceIndex_t index) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mDeviceContainers.find(index);
    if (found != mDeviceContainers.end()) return found->second;
    const vr::PropertyContainerHandle_t handle = mNextHandle++;
    mContainers[handle];
    mDeviceContainers[index] = handle;
    return handle;
}

void cPropertyStore::HostSetLocked(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                   vr::PropertyTypeTag_t tag, const void* data, size_t size) {
    const auto found = mContainers.find(container);
    if (found == mContainers.end()) return;
    sPropertyRecord& record = found->second[prop];
    record.prop = prop;
    record.tag = tag;
    record.error = vr::TrackedProp_Success;
    const auto* bytes = static_cast<const uint8_t*>(data);
    record.bytes.assign(bytes, bytes + size);
}

void cPropertyStore::HostSetString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                   const std::string& value) {
    std::lock_guard<std::mutex> lock(mMutex);
    HostSetLocked(container, prop, vr::k_unStringPropertyTag, value.c_str(), value.size() + 1);
}

void cPropertyStore::HostSetInt32(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                  int32_t value) {
    std::lock_guard<std::mutex> lock(mMutex);
    HostSetLocked(container, prop, vr::k_unInt32PropertyTag, &value, sizeof(value));
}

void cPropertyStore::HostSetBytes(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop,
                                  vr::PropertyTypeTag_t tag, const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(mMutex);
    HostSetLocked(container, prop, tag, data, size);
}

std::vector<sPropertyRecord> cPropertyStore::Snapshot(vr::PropertyContainerHandle_t container) const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<sPropertyRecord> records;
    const auto found = mContainers.find(container);
    if (found == mContainers.end()) return records;
    for (const auto& entry : found->second) records.push_back(entry.second);
    return records;
}

vr::ETrackedPropertyError cPropertyStore::ReadPropertyBatch(vr::PropertyContainerHandle_t ulContainerHandle,
                                                            vr::PropertyRead_t* pBatch, uint32_t unBatchEntryCount) {
    if (!pBatch) return unBatchEntryCount == 0 ? vr::TrackedProp_Success : vr::TrackedProp_InvalidOperation;
    std::lock_guard<std::mutex> lock(mMutex);
    const auto container = mContainers.find(ulContainerHandle);
    vr::ETrackedPropertyError first = vr::TrackedProp_Success;
    for (uint32_t i = 0; i < unBatchEntryCount; ++i) {
        vr::PropertyRead_t& entry = pBatch[i];
        entry.unTag = vr::k_unInvalidPropertyTag;
        entry.unRequiredBufferSize = 0;
        if (container == mContainers.end()) {
            entry.eError = vr::TrackedProp_InvalidContainer;
        } else {
            const auto found = container->second.find(entry.prop);
            if (found == container->second.end()) {
                entry.eError = vr::TrackedProp_UnknownProperty;
            } else if (found->second.error != vr::TrackedProp_Success) {
                entry.eError = found->second.error;
            } else {
                const sPropertyRecord& record = found->second;
                const uint32_t size = static_cast<uint32_t>(record.bytes.size());
                entry.unTag = record.tag;
                entry.unRequiredBufferSize = size;
                if (size > 0 && (!entry.pvBuffer || entry.unBufferSize < size)) {
                    entry.eError = vr::TrackedProp_BufferTooSmall;
                } else {
                    if (size > 0) std::memcpy(entry.pvBuffer, record.bytes.data(), size);
                    entry.eError = vr::TrackedProp_Success;
                }
            }
        }
        if (first == vr::TrackedProp_Success) first = entry.eError;
    }
    return first;
}

vr::ETrackedPropertyError cPropertyStore::WritePropertyBatch(vr::PropertyContainerHandle_t ulContainerHandle,
                                                             vr::PropertyWrite_t* pBatch, uint32_t unBatchEntryCount) {
    if (!pBatch) return unBatchEntryCount == 0 ? vr::TrackedProp_Success : vr::TrackedProp_InvalidOperation;
    std::lock_guard<std::mutex> lock(mMutex);
    const auto container = mContainers.find(ulContainerHandle);
    vr::ETrackedPropertyError first = vr::TrackedProp_Success;
    for (uint32_t i = 0; i < unBatchEntryCount; ++i) {
        vr::PropertyWrite_t& entry = pBatch[i];
        // Read as a plain integer: a driver may pass a value outside the enumeration.
        int32_t writeType;
        static_assert(sizeof(writeType) == sizeof(entry.writeType), "enum size");
        std::memcpy(&writeType, &entry.writeType, sizeof(writeType));
        if (container == mContainers.end()) {
            entry.eError = vr::TrackedProp_InvalidContainer;
        } else if (writeType == vr::PropertyWrite_Set) {
            if ((entry.unBufferSize > 0 && !entry.pvBuffer) || entry.unTag == vr::k_unInvalidPropertyTag) {
                entry.eError = vr::TrackedProp_InvalidOperation;
            } else if (entry.unTag == vr::k_unStringPropertyTag && entry.unBufferSize > vr::k_unMaxPropertyStringSize) {
                entry.eError = vr::TrackedProp_StringExceedsMaximumLength;
            } else {
                sPropertyRecord& record = container->second[entry.prop];
                record.prop = entry.prop;
                record.tag = entry.unTag;
                record.error = vr::TrackedProp_Success;
                const auto* bytes = static_cast<const uint8_t*>(entry.pvBuffer);
                record.bytes.assign(bytes, bytes + entry.unBufferSize);
                ++record.driverWrites;
                entry.eError = vr::TrackedProp_Success;
            }
        } else if (writeType == vr::PropertyWrite_Erase) {
            container->second.erase(entry.prop);
            entry.eError = vr::TrackedProp_Success;
        } else if (writeType == vr::PropertyWrite_SetError) {
            sPropertyRecord& record = container->second[entry.prop];
            record.prop = entry.prop;
            record.tag = vr::k_unInvalidPropertyTag;
            record.bytes.clear();
            record.error = entry.eSetError;
            ++record.driverWrites;
            entry.eError = vr::TrackedProp_Success;
        } else {
            entry.eError = vr::TrackedProp_InvalidOperation;
        }
        if (first == vr::TrackedProp_Success) first = entry.eError;
    }
    return first;
}

const char* cPropertyStore::GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) {
    return link::PropertyErrorName(error);
}

vr::PropertyContainerHandle_t cPropertyStore::TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t nDevice) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mDeviceContainers.find(nDevice);
    return found == mDeviceContainers.end() ? vr::k_ulInvalidPropertyContainer : found->second;
}

}  // namespace vrhost
