// IVRSettings_003 of a client connected to vrhost: every call is a request to the
// runtime, which applies the same rules as for its driver and rewrites its settings
// file on each change. A call the runtime does not answer reports IPCFailed.
#pragma once

#include "openvr_api/client_connection.h"

#include <openvr.h>

namespace openvr_api {

class cConnectedSettings final : public vr::IVRSettings {
public:
    explicit cConnectedSettings(cClientConnection& connection) : mConnection(connection) {}

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
    // The runtime's answer, or IPCFailed when there was none.
    vr::EVRSettingsError Ask(vrhost::link::sClientRequest& request, vrhost::link::sClientReply& reply);
    // A request whose reply carries nothing but the error.
    void Change(vrhost::link::sClientRequest request, vr::EVRSettingsError* peError);

    cClientConnection& mConnection;
};

}  // namespace openvr_api
