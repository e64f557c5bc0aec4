// The provider's answers to the requests of request_protocol.h: every device's
// DebugRequest lands here, whichever device was asked, and the answer covers the
// whole driver. Runs on the runtime's thread: it reads atomics and the devices'
// own never-blocking status, and takes no lock a driver thread holds for long.
#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/tracking_type.h"
#include "platform/known_folders.h"
#include "requests/calibration_json.h"
#include "requests/json_text.h"
#include "requests/request_protocol.h"

#include <vector>

using halvex::requests::cJsonObject;

namespace {

struct sRole {
    cIHalvexDevice* cHalvexDeviceProvider::*device;
    const char* name;
};

const sRole kRoles[] = {
    {&cHalvexDeviceProvider::mHeadDevice, "head"},
    {&cHalvexDeviceProvider::mControllerADevice, "controllerA"},
    {&cHalvexDeviceProvider::mControllerBDevice, "controllerB"},
};

// Seconds since a driver time, null when there was none.
void AddAge(cJsonObject& object, const char* key, double time, double now) {
    if (time > 0.0)
        object.Number(key, now - time);
    else
        object.Null(key);
}

// 0 for a device that follows no rigid body.
int32_t RigidBodyIdOf(const cIHalvexDevice& device) {
    const int32_t id = device.GetRigidBodyId();
    return id == kRigidBodyNone ? 0 : id;
}

// A path, null when there is none.
void AddPath(cJsonObject& object, const char* key, const std::string& path) {
    if (path.empty())
        object.Null(key);
    else
        object.Text(key, path);
}

cJsonObject AnswerHead(const char* verb) {
    cJsonObject answer;
    answer.Text("protocol", halvex::requests::kProtocolName);
    answer.Bool("ok", true);
    answer.Text("request", verb);
    return answer;
}

const char* ConnectionState(const cHalvexDeviceProvider& provider, double sinceFrame) {
    if (provider.mConnecting.load()) return "connecting";
    if (provider.mClient.load()) return sinceFrame < 1.0 ? "streaming" : "connected";
    if (provider.mDiscoveryRunning.load()) return "searching";
    return "idle";
}

}  // namespace

std::string cHalvexDeviceProvider::StatusAnswer() const {
    const double now = DriverTimeNow();
    const double lastFrame = mLastFrameTime.load();
    const bool hadFrame = lastFrame != DBL_MAX && lastFrame > 0.0;
    const double sinceFrame = hadFrame ? now - lastFrame : DBL_MAX;

    cJsonObject server;
    server.Text("state", ConnectionState(*this, sinceFrame));
    if (hadFrame && mClient.load())
        server.Number("secondsSinceFrame", sinceFrame);
    else
        server.Null("secondsSinceFrame");
    server.Number("frameRate", sinceFrame < 1.0 ? mFrameRate.load(std::memory_order_relaxed) : 0.0);
    const double latency = mMeanLatency.load(std::memory_order_relaxed);
    if (latency >= 0.0)
        server.Number("latencyMs", latency * 1000.0);
    else
        server.Null("latencyMs");

    std::vector<std::string> devices;
    bool anyRecording = false;
    for (const sRole& role : kRoles) {
        const cIHalvexDevice* device = this->*role.device;
        if (!device) continue;
        const sDeviceStatus status = device->Status();
        anyRecording = anyRecording || status.recording;
        cJsonObject entry;
        entry.Text("role", role.name);
        entry.Text("serial", device->GetSerialNumber());
        entry.Int("rigidBodyId", RigidBodyIdOf(*device));
        entry.Bool("active", status.active);
        entry.Bool("valid", status.poseValid);
        entry.Text("mode", status.fused ? "fused" : "direct");
        if (status.knowsSampleTimes) {
            AddAge(entry, "secondsSinceOptical", status.lastOpticalTime, now);
            AddAge(entry, "secondsSinceImu", status.lastImuTime, now);
        } else {
            entry.Null("secondsSinceOptical");
            entry.Null("secondsSinceImu");
        }
        entry.Int("filterResets", status.filterResets);
        entry.Bool("recording", status.recording);
        entry.Raw("calibration", halvex::requests::CalibrationJson(device->Calibration()));
        devices.push_back(entry.Finish());
    }

    cJsonObject answer = AnswerHead("status");
    answer.Text("trackingType", halvex::TrackingTypeToString(mTrackingType));
    answer.Raw("server", server.Finish());
    answer.Bool("recording", anyRecording);
    answer.Bool("predictDirectPoses", mPredictDirectPoses.load());
    answer.Int("debugLevel", mDebugLevel.load());
    answer.Raw("devices", halvex::requests::JsonArray(devices.data(), devices.size()));
    return answer.Finish();
}

std::string cHalvexDeviceProvider::AnswerRequest(const char* request) {
    using halvex::requests::eRequestKind;
    const halvex::requests::sParsedRequest parsed = halvex::requests::ParseRequest(request);
    switch (parsed.kind) {
        case eRequestKind::Invalid: return halvex::requests::ErrorAnswer(parsed.verb, parsed.error);
        case eRequestKind::Status: return StatusAnswer();
        case eRequestKind::Reload: {
            if (!ReadLiveSettings()) return halvex::requests::ErrorAnswer(parsed.verb, "no settings store");
            ReloadRigidBodyIds();
            DriverLog("Settings reloaded: debugLevel %d, predictDirectPoses %s", mDebugLevel.load(),
                      mPredictDirectPoses.load() ? "true" : "false");
            std::vector<std::string> devices;
            for (const sRole& role : kRoles) {
                cIHalvexDevice* device = this->*role.device;
                if (!device) continue;
                cJsonObject entry;
                entry.Text("role", role.name);
                entry.Int("rigidBodyId", RigidBodyIdOf(*device));
                entry.Raw("calibration", halvex::requests::CalibrationJson(device->Calibration()));
                devices.push_back(entry.Finish());
            }
            cJsonObject answer = AnswerHead("reload");
            answer.Bool("predictDirectPoses", mPredictDirectPoses.load());
            answer.Int("debugLevel", mDebugLevel.load());
            answer.Raw("devices", halvex::requests::JsonArray(devices.data(), devices.size()));
            return answer.Finish();
        }
        case eRequestKind::RecordStart:
        case eRequestKind::RecordStop: {
            const bool on = parsed.kind == eRequestKind::RecordStart;
            std::vector<std::string> devices;
            bool allDone = true;
            std::string firstFailure;
            for (const sRole& role : kRoles) {
                cIHalvexDevice* device = this->*role.device;
                if (!device) continue;
                std::string why;
                const bool done = device->SetRecording(on, why);
                cJsonObject entry;
                entry.Text("role", role.name);
                entry.Bool("ok", done);
                if (!done) entry.Text("error", why);
                if (done && on) AddPath(entry, "rawDataFile", device->RawDataFile());
                devices.push_back(entry.Finish());
                if (!done && allDone) firstFailure = std::string(role.name) + ": " + why;
                allDone = allDone && done;
            }
            if (devices.empty()) return halvex::requests::ErrorAnswer("record", "no devices");
            DriverLog("Recording %s by request%s", on ? "started" : "stopped", allDone ? "" : " (not on every device)");
            cJsonObject answer;
            answer.Text("protocol", halvex::requests::kProtocolName);
            answer.Bool("ok", allDone);
            answer.Text("request", on ? "record start" : "record stop");
            if (!allDone) answer.Text("error", firstFailure);
            if (on) AddPath(answer, "folder", halvex::platform::RecordingLogFolder());
            answer.Raw("devices", halvex::requests::JsonArray(devices.data(), devices.size()));
            return answer.Finish();
        }
    }
    return halvex::requests::ErrorAnswer(parsed.verb, "unhandled request");
}
