#include "client_test_support.h"

#include "vrhost/clients/client_device_view.h"
#include "vrhost/clients/client_service.h"
#include "vrhost/interfaces/settings_store.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <vector>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace halvex::test {
namespace {

#if defined(_WIN32)
const char* const kStateVariable = "LOCALAPPDATA";
void Put(const std::string& name, const std::string& value) { _putenv_s(name.c_str(), value.c_str()); }
#else
const char* const kStateVariable = "XDG_STATE_HOME";
void Put(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }
#endif

}  // namespace

class cFakeDeviceView final : public vrhost::cIClientDeviceView {
public:
    void Add(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceClass deviceClass, const std::string& trackingSystem,
             const std::string& registeredType);
    void Remove(vr::TrackedDeviceIndex_t index);

    std::vector<vrhost::sClientDeviceState> Devices() override;
    vr::ETrackedPropertyError ReadProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop,
                                           vr::PropertyTypeTag_t& tag, std::string& bytes) override;

private:
    std::mutex mMutex;
    std::map<vr::TrackedDeviceIndex_t, vrhost::sClientDeviceState> mDevices;
};

void cFakeDeviceView::Add(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceClass deviceClass,
                          const std::string& trackingSystem, const std::string& registeredType) {
    std::lock_guard<std::mutex> lock(mMutex);
    mDevices[index] = vrhost::sClientDeviceState{index, deviceClass, trackingSystem, registeredType};
}

void cFakeDeviceView::Remove(vr::TrackedDeviceIndex_t index) {
    std::lock_guard<std::mutex> lock(mMutex);
    mDevices.erase(index);
}

std::vector<vrhost::sClientDeviceState> cFakeDeviceView::Devices() {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<vrhost::sClientDeviceState> devices;
    for (const auto& [index, device] : mDevices) devices.push_back(device);
    return devices;
}

vr::ETrackedPropertyError cFakeDeviceView::ReadProperty(vr::TrackedDeviceIndex_t index, vr::ETrackedDeviceProperty prop,
                                                        vr::PropertyTypeTag_t& tag, std::string& bytes) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto device = mDevices.find(index);
    if (device == mDevices.end()) return vr::TrackedProp_InvalidDevice;
    if (prop == vr::Prop_DeviceClass_Int32) {
        tag = vr::k_unInt32PropertyTag;
        const int32_t value = device->second.deviceClass;
        bytes.assign(reinterpret_cast<const char*>(&value), sizeof(value));
        return vr::TrackedProp_Success;
    }
    const std::string* text = prop == vr::Prop_TrackingSystemName_String     ? &device->second.trackingSystemName
                              : prop == vr::Prop_RegisteredDeviceType_String ? &device->second.registeredDeviceType
                                                                             : nullptr;
    if (!text) return vr::TrackedProp_UnknownProperty;
    tag = vr::k_unStringPropertyTag;
    bytes = *text;
    bytes.push_back('\0');
    return vr::TrackedProp_Success;
}

struct cInProcessRuntime::sParts {
    vrhost::cSettingsStore settings;
    cFakeDeviceView devices;
    std::unique_ptr<vrhost::cClientService> service;
};

cInProcessRuntime::cInProcessRuntime(const std::filesystem::path& settingsFile) : mParts(new sParts) {
    std::error_code ec;
    if (std::filesystem::exists(settingsFile, ec)) mParts->settings.LoadUserFile(settingsFile);
    mParts->service = std::make_unique<vrhost::cClientService>(mParts->settings, mParts->devices, settingsFile);
}

cInProcessRuntime::~cInProcessRuntime() { Stop(0); }

bool cInProcessRuntime::Start() {
    std::string error;
    const bool started = mParts->service->Start(error);
    EXPECT_TRUE(started) << error;
    return started;
}

void cInProcessRuntime::Stop(int graceMs) { mParts->service->Stop(graceMs); }
uint16_t cInProcessRuntime::Port() const { return mParts->service->Port(); }
size_t cInProcessRuntime::ClientCount() const { return mParts->service->ClientCount(); }

void cInProcessRuntime::AddDevice(uint32_t index, int32_t deviceClass, const std::string& trackingSystem,
                                  const std::string& registeredType) {
    mParts->devices.Add(index, static_cast<vr::ETrackedDeviceClass>(deviceClass), trackingSystem, registeredType);
}

void cInProcessRuntime::RemoveDevice(uint32_t index) { mParts->devices.Remove(index); }

void cInProcessRuntime::PressButton(uint32_t index, uint32_t button) {
    vrhost::link::sClientEvent event;
    event.type = vr::VREvent_ButtonPress;
    event.device = index;
    event.button = button;
    mParts->service->PostEvent(event);
}

int32_t cInProcessRuntime::Int32Setting(const std::string& section, const std::string& key) {
    return mParts->settings.GetInt32(section.c_str(), key.c_str(), nullptr);
}

cPrivateStateFolder::cPrivateStateFolder() : mVariable(kStateVariable) {
    std::random_device random;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    mRoot = std::filesystem::temp_directory_path() /
            ("halvex_client_" + std::to_string(random()) + "_" + std::to_string(ticks));
    std::filesystem::create_directories(mRoot);
    if (const char* old = std::getenv(kStateVariable)) {
        mOldValue = old;
        mHadOldValue = true;
    }
    Put(mVariable, mRoot.u8string());
}

cPrivateStateFolder::~cPrivateStateFolder() {
#if defined(_WIN32)
    Put(mVariable, mHadOldValue ? mOldValue : "");
#else
    if (mHadOldValue) {
        Put(mVariable, mOldValue);
    } else {
        unsetenv(mVariable.c_str());
    }
#endif
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace halvex::test
