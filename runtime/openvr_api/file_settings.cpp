#include "openvr_api/file_settings.h"

#include "vrhost/host/host_error.h"
#include "vrhost/interfaces/settings_file.h"
#include "vrhost/interfaces/settings_store.h"

#include <mutex>

namespace openvr_api {
namespace {

class cFileSettings final : public cIFileSettings, public vr::IVRSettings {
public:
    explicit cFileSettings(std::filesystem::path file) : mFile(std::move(file)) {}
    vrhost::cSettingsStore& Store() { return mStore; }

    void* Interface() override { return static_cast<vr::IVRSettings*>(this); }

    const char* GetSettingsErrorNameFromEnum(vr::EVRSettingsError eError) override {
        return mStore.GetSettingsErrorNameFromEnum(eError);
    }
    void SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue,
                 vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.SetBool(pchSection, pchSettingsKey, bValue, e); });
    }
    void SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                  vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.SetInt32(pchSection, pchSettingsKey, nValue, e); });
    }
    void SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                  vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.SetFloat(pchSection, pchSettingsKey, flValue, e); });
    }
    void SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                   vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.SetString(pchSection, pchSettingsKey, pchValue, e); });
    }
    bool GetBool(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override {
        return mStore.GetBool(pchSection, pchSettingsKey, peError);
    }
    int32_t GetInt32(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override {
        return mStore.GetInt32(pchSection, pchSettingsKey, peError);
    }
    float GetFloat(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override {
        return mStore.GetFloat(pchSection, pchSettingsKey, peError);
    }
    void GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue, uint32_t unValueLen,
                   vr::EVRSettingsError* peError) override {
        mStore.GetString(pchSection, pchSettingsKey, pchValue, unValueLen, peError);
    }
    void RemoveSection(const char* pchSection, vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.RemoveSection(pchSection, e); });
    }
    void RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey,
                            vr::EVRSettingsError* peError) override {
        Change(peError, [&](vr::EVRSettingsError* e) { mStore.RemoveKeyInSection(pchSection, pchSettingsKey, e); });
    }

private:
    // Applies a change and writes the file; a change the file did not take is a failed write.
    template <typename Apply>
    void Change(vr::EVRSettingsError* peError, Apply apply) {
        std::lock_guard<std::mutex> lock(mWriteMutex);
        vr::EVRSettingsError error = vr::VRSettingsError_None;
        apply(&error);
        std::string reason;
        if (error == vr::VRSettingsError_None && !vrhost::SaveSettingsFile(mFile, mStore.UserSettings(), reason)) {
            error = vr::VRSettingsError_WriteFailed;
        }
        if (peError) *peError = error;
    }

    std::filesystem::path mFile;
    vrhost::cSettingsStore mStore;
    std::mutex mWriteMutex;
};

}  // namespace

std::unique_ptr<cIFileSettings> OpenFileSettings(const std::filesystem::path& file, std::string& error) {
    auto settings = std::make_unique<cFileSettings>(file);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return settings;
    try {
        settings->Store().LoadUserFile(file);
    } catch (const vrhost::cHostError& e) {
        error = e.what();
        return nullptr;
    }
    return settings;
}

}  // namespace openvr_api
