// IVRSettings_003: the runtime's settings store. Two layers, as the runtime keeps
// them: the driver folder's resources/settings/default.vrsettings below, the
// user's settings file (steamvr.vrsettings format) above. Writes go to the user
// layer in memory. Called from any driver thread.
#pragma once

#include "vrhost/host/json_io.h"

#include <openvr_driver.h>

#include <filesystem>
#include <mutex>

namespace vrhost {

class cSettingsStore final : public vr::IVRSettings {
public:
    // Both throw cHostError naming the file and, for bad JSON, the line and column.
    // A missing defaults file is no error (a driver need not ship one).
    void LoadDefaultsFile(const std::filesystem::path& file);
    void LoadUserFile(const std::filesystem::path& file);

    void SetDefaults(SettingsDocument defaults);
    void SetUserSettings(SettingsDocument user);
    SettingsDocument UserSettings() const;
    // Every key of a section, the user layer over the defaults (e.g. "TrackingOverrides").
    SettingsSection Section(const std::string& section) const;

    const char* GetSettingsErrorNameFromEnum(vr::EVRSettingsError eError) override;
    void SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue,
                 vr::EVRSettingsError* peError) override;
    void SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                  vr::EVRSettingsError* peError) override;
    void SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                  vr::EVRSettingsError* peError) override;
    void SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                   vr::EVRSettingsError* peError) override;
    bool GetBool(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override;
    int32_t GetInt32(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override;
    float GetFloat(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override;
    void GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue, uint32_t unValueLen,
                   vr::EVRSettingsError* peError) override;
    void RemoveSection(const char* pchSection, vr::EVRSettingsError* peError) override;
    void RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) override;

private:
    // The value the user layer gives, else the defaults layer; null when unset.
    const sSettingValue* FindLocked(const char* section, const char* key) const;
    vr::EVRSettingsError SetLocked(const char* section, const char* key, sSettingValue value);

    mutable std::mutex mMutex;
    SettingsDocument mDefaults;
    SettingsDocument mUser;
};

}  // namespace vrhost
