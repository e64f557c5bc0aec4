#include "client_link/client_messages.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace vrhost::link {
namespace {

using Json = nlohmann::json;

struct sOpName {
    eClientOp op;
    const char* name;
};

const sOpName kOpNames[] = {
    {eClientOp::Hello, "hello"},
    {eClientOp::GetBool, "getBool"},
    {eClientOp::GetInt32, "getInt32"},
    {eClientOp::GetFloat, "getFloat"},
    {eClientOp::GetString, "getString"},
    {eClientOp::SetBool, "setBool"},
    {eClientOp::SetInt32, "setInt32"},
    {eClientOp::SetFloat, "setFloat"},
    {eClientOp::SetString, "setString"},
    {eClientOp::RemoveSection, "removeSection"},
    {eClientOp::RemoveKey, "removeKey"},
    {eClientOp::DeviceClass, "deviceClass"},
    {eClientOp::DeviceProperty, "deviceProperty"},
    {eClientOp::AcknowledgeQuit, "acknowledgeQuit"},
    {eClientOp::DebugRequest, "debugRequest"},
    {eClientOp::DevicePoses, "devicePoses"},
};

const char* OpName(eClientOp op) {
    for (const sOpName& entry : kOpNames) {
        if (entry.op == op) return entry.name;
    }
    return "";
}

bool OpFromName(const std::string& name, eClientOp& op) {
    for (const sOpName& entry : kOpNames) {
        if (name == entry.name) {
            op = entry.op;
            return true;
        }
    }
    return false;
}

bool NeedsSection(eClientOp op) {
    return op != eClientOp::Hello && op != eClientOp::DeviceClass && op != eClientOp::DeviceProperty &&
           op != eClientOp::AcknowledgeQuit && op != eClientOp::DebugRequest && op != eClientOp::DevicePoses;
}

bool NeedsKey(eClientOp op) { return NeedsSection(op) && op != eClientOp::RemoveSection; }

// Reads an optional field of the expected JSON type; a field of another type fails.
template <typename T, typename Check>
bool ReadField(const Json& object, const char* name, T& out, Check isType, bool required, std::string& error) {
    const auto it = object.find(name);
    if (it == object.end()) {
        if (required) error = std::string("missing \"") + name + "\"";
        return !required;
    }
    if (!isType(*it)) {
        error = std::string("\"") + name + "\" has the wrong type";
        return false;
    }
    out = it->template get<T>();
    return true;
}

bool IsText(const Json& v) { return v.is_string(); }
bool IsBool(const Json& v) { return v.is_boolean(); }
bool IsNumber(const Json& v) { return v.is_number(); }
bool IsInt32(const Json& v) {
    if (v.is_number_unsigned()) return v.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    if (!v.is_number_integer()) return false;
    const int64_t n = v.get<int64_t>();
    return n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max();
}
bool IsUint32(const Json& v) {
    return v.is_number_unsigned() && v.get<uint64_t>() <= std::numeric_limits<uint32_t>::max();
}

// Property values are bytes, not text.
std::string ToHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0xF]);
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

template <size_t N>
Json FloatArray(const float (&values)[N]) {
    Json array = Json::array();
    for (const float v : values) array.push_back(v);
    return array;
}

template <size_t N>
bool ReadFloatArray(const Json& object, const char* name, float (&values)[N]) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_array() || it->size() != N) return false;
    for (size_t i = 0; i < N; ++i) {
        if (!(*it)[i].is_number()) return false;
        values[i] = (*it)[i].get<float>();
    }
    return true;
}

Json EncodePose(const sClientPose& pose) {
    return {{"device", pose.device},       {"valid", pose.valid},
            {"connected", pose.connected}, {"result", pose.result},
            {"m", FloatArray(pose.matrix)}, {"v", FloatArray(pose.velocity)},
            {"w", FloatArray(pose.angularVelocity)}};
}

bool DecodePose(const Json& object, sClientPose& pose) {
    if (!object.is_object()) return false;
    std::string error;
    return ReadField(object, "device", pose.device, IsUint32, true, error) &&
           ReadField(object, "valid", pose.valid, IsBool, true, error) &&
           ReadField(object, "connected", pose.connected, IsBool, true, error) &&
           ReadField(object, "result", pose.result, IsInt32, true, error) && ReadFloatArray(object, "m", pose.matrix) &&
           ReadFloatArray(object, "v", pose.velocity) && ReadFloatArray(object, "w", pose.angularVelocity);
}

bool ParseObject(const std::string& body, Json& object) {
    object = Json::parse(body, nullptr, false);
    return object.is_object();
}

}  // namespace

std::string EncodeRequest(const sClientRequest& request) {
    Json object = {{"id", request.id}, {"op", OpName(request.op)}};
    switch (request.op) {
        case eClientOp::Hello: object["applicationType"] = request.applicationType; break;
        case eClientOp::GetString: object["bufferSize"] = request.bufferSize; break;
        case eClientOp::SetBool: object["value"] = request.boolValue; break;
        case eClientOp::SetInt32: object["value"] = request.intValue; break;
        case eClientOp::SetFloat: object["value"] = request.floatValue; break;
        case eClientOp::SetString: object["value"] = request.stringValue; break;
        case eClientOp::DeviceClass: object["device"] = request.device; break;
        case eClientOp::DebugRequest:
            object["device"] = request.device;
            object["value"] = request.stringValue;
            object["bufferSize"] = request.bufferSize;
            break;
        case eClientOp::DeviceProperty:
            object["device"] = request.device;
            object["prop"] = request.prop;
            break;
        default: break;
    }
    if (NeedsSection(request.op)) object["section"] = request.section;
    if (NeedsKey(request.op)) object["key"] = request.key;
    return object.dump();
}

bool DecodeRequest(const std::string& body, sClientRequest& request, std::string& error) {
    request = sClientRequest();
    Json object;
    if (!ParseObject(body, object)) {
        error = "not a JSON object";
        return false;
    }
    std::string opName;
    if (!ReadField(object, "id", request.id, IsUint32, true, error) ||
        !ReadField(object, "op", opName, IsText, true, error)) {
        return false;
    }
    if (!OpFromName(opName, request.op)) {
        error = "unknown op \"" + opName + "\"";
        return false;
    }
    const eClientOp op = request.op;
    bool ok = ReadField(object, "section", request.section, IsText, NeedsSection(op), error) &&
              ReadField(object, "key", request.key, IsText, NeedsKey(op), error);
    switch (op) {
        case eClientOp::Hello:
            ok = ok && ReadField(object, "applicationType", request.applicationType, IsInt32, true, error);
            break;
        case eClientOp::GetString:
            ok = ok && ReadField(object, "bufferSize", request.bufferSize, IsUint32, true, error);
            break;
        case eClientOp::SetBool: ok = ok && ReadField(object, "value", request.boolValue, IsBool, true, error); break;
        case eClientOp::SetInt32: ok = ok && ReadField(object, "value", request.intValue, IsInt32, true, error); break;
        case eClientOp::SetFloat:
            ok = ok && ReadField(object, "value", request.floatValue, IsNumber, true, error);
            break;
        case eClientOp::SetString:
            ok = ok && ReadField(object, "value", request.stringValue, IsText, true, error);
            break;
        case eClientOp::DeviceClass: ok = ok && ReadField(object, "device", request.device, IsUint32, true, error); break;
        case eClientOp::DebugRequest:
            ok = ok && ReadField(object, "device", request.device, IsUint32, true, error) &&
                 ReadField(object, "value", request.stringValue, IsText, true, error) &&
                 ReadField(object, "bufferSize", request.bufferSize, IsUint32, true, error);
            break;
        case eClientOp::DeviceProperty:
            ok = ok && ReadField(object, "device", request.device, IsUint32, true, error) &&
                 ReadField(object, "prop", request.prop, IsInt32, true, error);
            break;
        default: break;
    }
    return ok;
}

std::string EncodeReply(const sClientReply& reply) {
    Json object = {{"id", reply.id}};
    if (reply.refused) {
        object["refused"] = reply.refusal;
        return object.dump();
    }
    object["error"] = reply.error;
    object["bool"] = reply.boolValue;
    object["int"] = reply.intValue;
    object["float"] = reply.floatValue;
    object["string"] = reply.stringValue;
    object["tag"] = reply.tag;
    object["bytes"] = ToHex(reply.bytes);
    if (!reply.poses.empty()) {
        Json poses = Json::array();
        for (const sClientPose& pose : reply.poses) poses.push_back(EncodePose(pose));
        object["poses"] = std::move(poses);
    }
    // Settings come from a file a person edits: never let a byte that is not UTF-8
    // stop the reply.
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string EncodeEvent(const sClientEvent& event) {
    const Json object = {{"event", event.type}, {"device", event.device}, {"age", event.ageSeconds},
                         {"button", event.button}, {"pid", event.pid},     {"forced", event.forced}};
    return object.dump();
}

eServerMessage DecodeServerMessage(const std::string& body, sClientReply& reply, sClientEvent& event) {
    Json object;
    if (!ParseObject(body, object)) return eServerMessage::Invalid;
    std::string error;
    if (object.contains("event")) {
        event = sClientEvent();
        const bool ok = ReadField(object, "event", event.type, IsUint32, true, error) &&
                        ReadField(object, "device", event.device, IsUint32, false, error) &&
                        ReadField(object, "age", event.ageSeconds, IsNumber, false, error) &&
                        ReadField(object, "button", event.button, IsUint32, false, error) &&
                        ReadField(object, "pid", event.pid, IsUint32, false, error) &&
                        ReadField(object, "forced", event.forced, IsBool, false, error);
        return ok ? eServerMessage::Event : eServerMessage::Invalid;
    }
    reply = sClientReply();
    if (!ReadField(object, "id", reply.id, IsUint32, true, error)) return eServerMessage::Invalid;
    if (object.contains("refused")) {
        reply.refused = true;
        return ReadField(object, "refused", reply.refusal, IsText, true, error) ? eServerMessage::Reply
                                                                                 : eServerMessage::Invalid;
    }
    std::string hex;
    const bool ok = ReadField(object, "error", reply.error, IsInt32, true, error) &&
                    ReadField(object, "bool", reply.boolValue, IsBool, false, error) &&
                    ReadField(object, "int", reply.intValue, IsInt32, false, error) &&
                    ReadField(object, "float", reply.floatValue, IsNumber, false, error) &&
                    ReadField(object, "string", reply.stringValue, IsText, false, error) &&
                    ReadField(object, "tag", reply.tag, IsUint32, false, error) &&
                    ReadField(object, "bytes", hex, IsText, false, error) && FromHex(hex, reply.bytes);
    if (!ok) return eServerMessage::Invalid;
    const auto poses = object.find("poses");
    if (poses != object.end()) {
        if (!poses->is_array()) return eServerMessage::Invalid;
        for (const Json& entry : *poses) {
            sClientPose pose;
            if (!DecodePose(entry, pose)) return eServerMessage::Invalid;
            reply.poses.push_back(pose);
        }
    }
    return eServerMessage::Reply;
}

}  // namespace vrhost::link
