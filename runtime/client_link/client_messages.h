// What vrhost and its client library say to each other, as typed records. Requests
// carry an id that the reply repeats; events come unasked, between replies.
// Encoding is JSON; every use of the JSON library on the link is in the .cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrhost::link {

enum class eClientOp {
    Hello,            // applicationType
    GetBool,          // section, key
    GetInt32,
    GetFloat,
    GetString,        // section, key, bufferSize
    SetBool,          // section, key, boolValue
    SetInt32,         // intValue
    SetFloat,         // floatValue
    SetString,        // stringValue
    RemoveSection,    // section
    RemoveKey,        // section, key
    DeviceClass,      // device
    DeviceProperty,   // device, prop
    AcknowledgeQuit,
    DebugRequest,     // device, stringValue (the request), bufferSize
    DevicePoses,
};

struct sClientRequest {
    uint32_t id = 0;
    eClientOp op = eClientOp::Hello;
    int32_t applicationType = 0;
    std::string section;
    std::string key;
    bool boolValue = false;
    int32_t intValue = 0;
    float floatValue = 0.0f;
    std::string stringValue;
    uint32_t bufferSize = 0;
    uint32_t device = 0;
    int32_t prop = 0;
};

// The newest pose a device handed the runtime, as a client sees it: device to the
// tracking space, row-major 3x4.
struct sClientPose {
    uint32_t device = 0;
    bool valid = false;
    bool connected = false;
    int32_t result = 0;  // ETrackingResult
    float matrix[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    float velocity[3] = {0, 0, 0};
    float angularVelocity[3] = {0, 0, 0};
};

// `error` is the EVRSettingsError, ETrackedPropertyError or EVRInitError of the
// call; a refused request has `refused` set and says why.
struct sClientReply {
    uint32_t id = 0;
    bool refused = false;
    std::string refusal;
    int32_t error = 0;
    bool boolValue = false;
    int32_t intValue = 0;
    float floatValue = 0.0f;
    std::string stringValue;
    uint32_t tag = 0;           // DeviceProperty: PropertyTypeTag_t of `bytes`
    std::string bytes;          // DeviceProperty: the value as stored (a string with its NUL)
    std::vector<sClientPose> poses;  // DevicePoses
};

struct sClientEvent {
    uint32_t type = 0;  // EVREventType
    uint32_t device = 0;
    float ageSeconds = 0.0f;
    uint32_t button = 0;     // button events
    uint32_t pid = 0;        // quit
    bool forced = false;     // quit
    bool connectionLost = false;  // quit made up by the client library itself
};

std::string EncodeRequest(const sClientRequest& request);
// False for anything that is not a well-formed request; `error` says what is wrong.
// The id is filled whenever it could be read, so a refusal can name it.
bool DecodeRequest(const std::string& body, sClientRequest& request, std::string& error);

std::string EncodeReply(const sClientReply& reply);
std::string EncodeEvent(const sClientEvent& event);

enum class eServerMessage { Reply, Event, Invalid };
eServerMessage DecodeServerMessage(const std::string& body, sClientReply& reply, sClientEvent& event);

}  // namespace vrhost::link
