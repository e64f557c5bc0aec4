// Minimal stand-ins for the host interfaces that unit tests of the driver core need.
#pragma once

#include <openvr_driver.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class cCapturingLog : public vr::IVRDriverLog {
public:
    void Log(const char* pchLogMessage) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mLines.emplace_back(pchLogMessage);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mLines;
    }

private:
    mutable std::mutex mMutex;
    std::vector<std::string> mLines;
};

// Properties as tagged bytes per container; answers BufferTooSmall like a runtime.
class cFakeProperties : public vr::IVRProperties {
public:
    struct sValue {
        vr::PropertyTypeTag_t tag = 0;
        std::vector<char> bytes;
    };

    vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyRead_t* batch,
                                                uint32_t count) override {
        for (uint32_t i = 0; i < count; ++i) {
            vr::PropertyRead_t& read = batch[i];
            ++mReads;
            auto found = mValues.find({container, read.prop});
            if (found == mValues.end()) {
                read.eError = vr::TrackedProp_UnknownProperty;
                continue;
            }
            const sValue& value = found->second;
            read.unTag = value.tag;
            read.unRequiredBufferSize = static_cast<uint32_t>(value.bytes.size());
            if (read.unBufferSize < value.bytes.size()) {
                read.eError = vr::TrackedProp_BufferTooSmall;
                continue;
            }
            std::memcpy(read.pvBuffer, value.bytes.data(), value.bytes.size());
            read.eError = vr::TrackedProp_Success;
        }
        return vr::TrackedProp_Success;
    }
    vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyWrite_t* batch,
                                                 uint32_t count) override {
        for (uint32_t i = 0; i < count; ++i) {
            ++mWrites;
            const vr::PropertyWrite_t& write = batch[i];
            sValue value;
            value.tag = write.unTag;
            const char* bytes = static_cast<const char*>(write.pvBuffer);
            value.bytes.assign(bytes, bytes + write.unBufferSize);
            mValues[{container, write.prop}] = value;
            batch[i].eError = vr::TrackedProp_Success;
        }
        return vr::TrackedProp_Success;
    }
    const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError) override { return "error"; }
    vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t index) override {
        return 1000 + index;
    }

    void SetString(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, const std::string& text,
                   vr::PropertyTypeTag_t tag = vr::k_unStringPropertyTag) {
        sValue value;
        value.tag = tag;
        value.bytes.assign(text.begin(), text.end());
        value.bytes.push_back('\0');
        mValues[{container, prop}] = value;
    }
    void SetFixed(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t tag,
                  const void* data, size_t size) {
        sValue value;
        value.tag = tag;
        value.bytes.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        mValues[{container, prop}] = value;
    }
    const sValue* Find(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop) const {
        auto found = mValues.find({container, prop});
        return found == mValues.end() ? nullptr : &found->second;
    }

    int mReads = 0;
    int mWrites = 0;

private:
    std::map<std::pair<vr::PropertyContainerHandle_t, vr::ETrackedDeviceProperty>, sValue> mValues;
};

// Hands out only the interfaces it was given.
class cFakeContext : public vr::IVRDriverContext {
public:
    void* GetGenericInterface(const char* version, vr::EVRInitError* error) override {
        auto found = mInterfaces.find(version);
        if (found == mInterfaces.end()) {
            if (error) *error = vr::VRInitError_Init_InterfaceNotFound;
            return nullptr;
        }
        if (error) *error = vr::VRInitError_None;
        return found->second;
    }
    vr::DriverHandle_t GetDriverHandle() override { return 1; }

    std::map<std::string, void*> mInterfaces;
};
