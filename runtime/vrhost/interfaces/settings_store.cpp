#include "vrhost/interfaces/settings_store.h"

#include "client_link/openvr_error_names.h"

#include "vrhost/host/driver_location.h"
#include "vrhost/host/host_error.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vrhost {
namespace {

using Kind = sSettingValue::eKind;

void Report(vr::EVRSettingsError* peError, vr::EVRSettingsError error) {
    if (peError) *peError = error;
}

SettingsDocument ReadSettingsFile(const std::filesystem::path& file) {
    std::string text;
    if (!ReadWholeFile(file, text)) throw cHostError("cannot read settings file " + file.u8string());
    SettingsDocument document;
    std::string error;
    if (!ParseSettingsJson(text, document, error)) {
        throw cHostError("settings file " + file.u8string() + " is not valid: " + error);
    }
    return document;
}

}  // namespace

void cSettingsStore::LoadDefaultsFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    SetDefaults(ReadSettingsFile(file));
}

void cSettingsStore::LoadUserFile(const std::filesystem::path& file) { SetUserSettings(ReadSettingsFile(file)); }

void cSettingsStore::SetDefaults(SettingsDocument defaults) {
    std::lock_guard<std::mutex> lock(mMutex);
    mDefaults = std::move(defaults);
}

void cSettingsStore::SetUserSettings(SettingsDocument user) {
    std::lock_guard<std::mutex> lock(mMutex);
    mUser = std::move(user);
}

SettingsDocument cSettingsStore::UserSettings() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mUser;
}

SettingsSection cSettingsStore::Section(const std::string& section) const {
    std::lock_guard<std::mutex> lock(mMutex);
    SettingsSection merged;
    const auto defaults = mDefaults.find(section);
    if (defaults != mDefaults.end()) merged = defaults->second;
    const auto user = mUser.find(section);
    if (user != mUser.end()) {
        for (const auto& [key, value] : user->second) {
            if (value.kind != sSettingValue::eKind::Null) merged[key] = value;
        }
    }
    return merged;
}

const sSettingValue* cSettingsStore::FindLocked(const char* section, const char* key) const {
    for (const SettingsDocument* layer : {&mUser, &mDefaults}) {
        const auto s = layer->find(section);
        if (s == layer->end()) continue;
        const auto k = s->second.find(key);
        // A JSON null leaves the key to the layer below.
        if (k != s->second.end() && k->second.kind != Kind::Null) return &k->second;
    }
    return nullptr;
}

vr::EVRSettingsError cSettingsStore::SetLocked(const char* section, const char* key, sSettingValue value) {
    if (!section || !key || !*section || !*key) return vr::VRSettingsError_WriteFailed;
    mUser[section][key] = std::move(value);
    return vr::VRSettingsError_None;
}

const char* cSettingsStore::GetSettingsErrorNameFromEnum(vr::EVRSettingsError eError) {
    return link::SettingsErrorName(eError);
}

void cSettingsStore::SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue,
                             vr::EVRSettingsError* peError) {
    sSettingValue value;
    value.kind = Kind::Bool;
    value.boolValue = bValue;
    std::lock_guard<std::mutex> lock(mMutex);
    Report(peError, SetLocked(pchSection, pchSettingsKey, std::move(value)));
}

void cSettingsStore::SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                              vr::EVRSettingsError* peError) {
    sSettingValue value;
    value.kind = Kind::Integer;
    value.integerValue = nValue;
    value.realValue = nValue;
    std::lock_guard<std::mutex> lock(mMutex);
    Report(peError, SetLocked(pchSection, pchSettingsKey, std::move(value)));
}

void cSettingsStore::SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                              vr::EVRSettingsError* peError) {
    sSettingValue value;
    value.kind = Kind::Real;
    value.realValue = flValue;
    std::lock_guard<std::mutex> lock(mMutex);
    Report(peError, SetLocked(pchSection, pchSettingsKey, std::move(value)));
}

void cSettingsStore::SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                               vr::EVRSettingsError* peError) {
    if (!pchValue) {
        Report(peError, vr::VRSettingsError_WriteFailed);
        return;
    }
    sSettingValue value;
    value.kind = Kind::String;
    value.text = pchValue;
    std::lock_guard<std::mutex> lock(mMutex);
    Report(peError, SetLocked(pchSection, pchSettingsKey, std::move(value)));
}

// Getters answer as a runtime does: an unset key gives UnsetSettingHasNoDefault and
// a zero value; a value of another type gives ReadFailed and a zero value.
bool cSettingsStore::GetBool(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) {
    if (!pchSection || !pchSettingsKey) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const sSettingValue* value = FindLocked(pchSection, pchSettingsKey);
    if (!value) {
        Report(peError, vr::VRSettingsError_UnsetSettingHasNoDefault);
        return false;
    }
    if (value->kind != Kind::Bool) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return false;
    }
    Report(peError, vr::VRSettingsError_None);
    return value->boolValue;
}

int32_t cSettingsStore::GetInt32(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) {
    if (!pchSection || !pchSettingsKey) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const sSettingValue* value = FindLocked(pchSection, pchSettingsKey);
    if (!value) {
        Report(peError, vr::VRSettingsError_UnsetSettingHasNoDefault);
        return 0;
    }
    // Whole numbers only, within range: 3.0 reads as 3, 3.5 or 1e12 is an error.
    const bool isNumber = value->kind == Kind::Integer || value->kind == Kind::Real;
    const double real = value->realValue;
    const bool whole = value->kind == Kind::Integer ? true : std::isfinite(real) && std::floor(real) == real;
    const double asDouble = value->kind == Kind::Integer ? static_cast<double>(value->integerValue) : real;
    if (!isNumber || !whole || asDouble < std::numeric_limits<int32_t>::min() ||
        asDouble > std::numeric_limits<int32_t>::max()) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0;
    }
    Report(peError, vr::VRSettingsError_None);
    return value->kind == Kind::Integer ? static_cast<int32_t>(value->integerValue) : static_cast<int32_t>(real);
}

float cSettingsStore::GetFloat(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) {
    if (!pchSection || !pchSettingsKey) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0.0f;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const sSettingValue* value = FindLocked(pchSection, pchSettingsKey);
    if (!value) {
        Report(peError, vr::VRSettingsError_UnsetSettingHasNoDefault);
        return 0.0f;
    }
    if (value->kind != Kind::Integer && value->kind != Kind::Real) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0.0f;
    }
    Report(peError, vr::VRSettingsError_None);
    return static_cast<float>(value->realValue);
}

void cSettingsStore::GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue,
                               uint32_t unValueLen, vr::EVRSettingsError* peError) {
    const bool haveBuffer = pchValue && unValueLen > 0;
    if (haveBuffer) pchValue[0] = '\0';
    if (!pchSection || !pchSettingsKey) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const sSettingValue* value = FindLocked(pchSection, pchSettingsKey);
    if (!value) {
        Report(peError, vr::VRSettingsError_UnsetSettingHasNoDefault);
        return;
    }
    if (value->kind != Kind::String) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return;
    }
    // A value that does not fit is not handed out cut short as if it were whole.
    if (!haveBuffer || value->text.size() >= unValueLen) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return;
    }
    std::memcpy(pchValue, value->text.c_str(), value->text.size() + 1);
    Report(peError, vr::VRSettingsError_None);
}

void cSettingsStore::RemoveSection(const char* pchSection, vr::EVRSettingsError* peError) {
    if (!pchSection) {
        Report(peError, vr::VRSettingsError_WriteFailed);
        return;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mUser.erase(pchSection);
    Report(peError, vr::VRSettingsError_None);
}

void cSettingsStore::RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey,
                                        vr::EVRSettingsError* peError) {
    if (!pchSection || !pchSettingsKey) {
        Report(peError, vr::VRSettingsError_WriteFailed);
        return;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    const auto section = mUser.find(pchSection);
    if (section != mUser.end()) section->second.erase(pchSettingsKey);
    Report(peError, vr::VRSettingsError_None);
}

}  // namespace vrhost
