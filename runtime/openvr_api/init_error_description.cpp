#include "openvr_api/init_error_text.h"

#include <cctype>

namespace openvr_api {
namespace {

const char* OwnSentence(vr::EVRInitError error) {
    switch (error) {
        case vr::VRInitError_None: return "No Error";
        case vr::VRInitError_Init_InterfaceNotFound: return "The runtime does not offer the requested interface version";
        case vr::VRInitError_Init_NoConfigPath: return "There is no folder for the runtime's settings";
        case vr::VRInitError_Init_SettingsInitFailed:
            return "The runtime's settings file cannot be read or is not valid JSON";
        case vr::VRInitError_Init_NoServerForBackgroundApp:
            return "No VR runtime is running, and a background application does not start one";
        case vr::VRInitError_IPC_ConnectFailed: return "Unable to connect to a running VR runtime";
        case vr::VRInitError_Init_NotInitialized: return "The client library is not initialized";
        default: return nullptr;
    }
}

// "VRInitError_Init_HmdNotFound" -> "Init: Hmd Not Found".
std::string SpellOut(const char* symbol) {
    std::string name = symbol;
    const std::string prefix = "VRInitError_";
    if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
    std::string text;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '_') {
            text += text.find(':') == std::string::npos ? ": " : " ";
            continue;
        }
        const bool wordStart = i > 0 && std::isupper(static_cast<unsigned char>(c)) &&
                               std::islower(static_cast<unsigned char>(name[i - 1]));
        if (wordStart) text += ' ';
        text += c;
    }
    return text;
}

}  // namespace

std::string InitErrorDescription(vr::EVRInitError error) {
    const char* sentence = OwnSentence(error);
    std::string text;
    if (sentence) {
        text = sentence;
    } else if (const char* symbol = InitErrorSymbol(error)) {
        text = SpellOut(symbol);
    } else {
        text = "Unknown error";
    }
    return text + " (" + std::to_string(static_cast<int>(error)) + ")";
}

}  // namespace openvr_api
