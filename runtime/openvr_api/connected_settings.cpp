#include "openvr_api/connected_settings.h"

#include "openvr_api/library_lock.h"

#include "client_link/openvr_error_names.h"

#include <cstring>

namespace openvr_api {

using vrhost::link::eClientOp;
using vrhost::link::sClientReply;
using vrhost::link::sClientRequest;

namespace {

void Report(vr::EVRSettingsError* peError, vr::EVRSettingsError error) {
    if (peError) *peError = error;
}

// Null section or key names are refused here, as the runtime would.
bool Named(const char* section, const char* key) { return section && key; }

sClientRequest Request(eClientOp op, const char* section, const char* key = "") {
    sClientRequest request;
    request.op = op;
    request.section = section;
    request.key = key;
    return request;
}

}  // namespace

vr::EVRSettingsError cConnectedSettings::Ask(sClientRequest& request, sClientReply& reply) {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (!mConnection.Call(request, reply)) return vr::VRSettingsError_IPCFailed;
    return static_cast<vr::EVRSettingsError>(reply.error);
}

const char* cConnectedSettings::GetSettingsErrorNameFromEnum(vr::EVRSettingsError eError) {
    return vrhost::link::SettingsErrorName(eError);
}

void cConnectedSettings::Change(sClientRequest request, vr::EVRSettingsError* peError) {
    sClientReply reply;
    Report(peError, Ask(request, reply));
}

void cConnectedSettings::SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue,
                                 vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) return Report(peError, vr::VRSettingsError_WriteFailed);
    sClientRequest request = Request(eClientOp::SetBool, pchSection, pchSettingsKey);
    request.boolValue = bValue;
    Change(request, peError);
}

void cConnectedSettings::SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                                  vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) return Report(peError, vr::VRSettingsError_WriteFailed);
    sClientRequest request = Request(eClientOp::SetInt32, pchSection, pchSettingsKey);
    request.intValue = nValue;
    Change(request, peError);
}

void cConnectedSettings::SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                                  vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) return Report(peError, vr::VRSettingsError_WriteFailed);
    sClientRequest request = Request(eClientOp::SetFloat, pchSection, pchSettingsKey);
    request.floatValue = flValue;
    Change(request, peError);
}

void cConnectedSettings::SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                                   vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey) || !pchValue) return Report(peError, vr::VRSettingsError_WriteFailed);
    sClientRequest request = Request(eClientOp::SetString, pchSection, pchSettingsKey);
    request.stringValue = pchValue;
    Change(request, peError);
}

bool cConnectedSettings::GetBool(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return false;
    }
    sClientRequest request = Request(eClientOp::GetBool, pchSection, pchSettingsKey);
    sClientReply reply;
    const vr::EVRSettingsError error = Ask(request, reply);
    Report(peError, error);
    return error == vr::VRSettingsError_None && reply.boolValue;
}

int32_t cConnectedSettings::GetInt32(const char* pchSection, const char* pchSettingsKey,
                                     vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0;
    }
    sClientRequest request = Request(eClientOp::GetInt32, pchSection, pchSettingsKey);
    sClientReply reply;
    const vr::EVRSettingsError error = Ask(request, reply);
    Report(peError, error);
    return error == vr::VRSettingsError_None ? reply.intValue : 0;
}

float cConnectedSettings::GetFloat(const char* pchSection, const char* pchSettingsKey, vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) {
        Report(peError, vr::VRSettingsError_ReadFailed);
        return 0.0f;
    }
    sClientRequest request = Request(eClientOp::GetFloat, pchSection, pchSettingsKey);
    sClientReply reply;
    const vr::EVRSettingsError error = Ask(request, reply);
    Report(peError, error);
    return error == vr::VRSettingsError_None ? reply.floatValue : 0.0f;
}

void cConnectedSettings::GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue,
                                   uint32_t unValueLen, vr::EVRSettingsError* peError) {
    if (pchValue && unValueLen > 0) pchValue[0] = '\0';
    if (!Named(pchSection, pchSettingsKey)) return Report(peError, vr::VRSettingsError_ReadFailed);
    sClientRequest request = Request(eClientOp::GetString, pchSection, pchSettingsKey);
    request.bufferSize = pchValue ? unValueLen : 0;
    sClientReply reply;
    vr::EVRSettingsError error = Ask(request, reply);
    // The runtime judged the fit by the size we sent; check it again before copying.
    if (error == vr::VRSettingsError_None && reply.stringValue.size() >= request.bufferSize) {
        error = vr::VRSettingsError_ReadFailed;
    }
    if (error == vr::VRSettingsError_None) {
        std::memcpy(pchValue, reply.stringValue.c_str(), reply.stringValue.size() + 1);
    }
    Report(peError, error);
}

void cConnectedSettings::RemoveSection(const char* pchSection, vr::EVRSettingsError* peError) {
    if (!pchSection) return Report(peError, vr::VRSettingsError_WriteFailed);
    Change(Request(eClientOp::RemoveSection, pchSection), peError);
}

void cConnectedSettings::RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey,
                                            vr::EVRSettingsError* peError) {
    if (!Named(pchSection, pchSettingsKey)) return Report(peError, vr::VRSettingsError_WriteFailed);
    Change(Request(eClientOp::RemoveKey, pchSection, pchSettingsKey), peError);
}

}  // namespace openvr_api
