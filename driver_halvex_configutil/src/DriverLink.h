// The utility's line to the driver: a request ("halvex/1 <request>") handed to one
// of the driver's devices through IVRDebug_001::DriverDebugRequest, its JSON answer
// parsed, and every failure named in words a user can act on. Safe to call from a
// worker thread: the client library serialises its calls, and the interfaces are
// taken once, by whoever made the connection.
#pragma once

#include <openvr.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <string>

enum class eDriverLinkError {
    None,
    RuntimeGone,     // no connection to a runtime
    NoDriverDevice,  // the runtime shows none of the driver's devices
    NotAnswering,    // the device took the request but nothing came back
    Malformed,       // an answer that is no JSON object of the protocol, or was cut
    Refused,         // the driver answered "ok": false
};

struct sDriverAnswer {
    eDriverLinkError error = eDriverLinkError::None;
    std::string message;  // for a person; empty when None
    nlohmann::json body;  // the answer as parsed (also when Refused)
    bool Ok() const { return error == eDriverLinkError::None; }
};

class cDriverLink {
public:
    // Null interfaces: every request is RuntimeGone.
    cDriverLink(vr::IVRSystem* system, vr::IVRDebug* debug);

    // `request` without the protocol word: "status", "record start", "reload".
    sDriverAnswer Ask(const std::string& request);

    // The answer text of `request` judged: `size` as DriverDebugRequest returned it,
    // `bufferSize` what the caller gave.
    static sDriverAnswer ReadAnswer(const std::string& request, const char* text, uint32_t size, uint32_t bufferSize);

private:
    // The head if there is one, else any device of the driver's tracking system.
    vr::TrackedDeviceIndex_t FindDevice() const;

    vr::IVRSystem* mSystem = nullptr;
    vr::IVRDebug* mDebug = nullptr;
    std::atomic<vr::TrackedDeviceIndex_t> mDevice{vr::k_unTrackedDeviceIndexInvalid};
};
