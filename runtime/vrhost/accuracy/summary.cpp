#include "vrhost/accuracy/summary.h"

#include "vrhost/host/text_format.h"

#include <cmath>
#include <sstream>

namespace vrhost {
namespace {

std::string Triple(const double v[3]) {
    return FormatNumber(v[0]) + "," + FormatNumber(v[1]) + "," + FormatNumber(v[2]);
}

std::string Quaternion(const vr::HmdQuaternion_t& q) {
    return FormatNumber(q.w) + "," + FormatNumber(q.x) + "," + FormatNumber(q.y) + "," + FormatNumber(q.z);
}

void WriteProperties(std::ostream& out, vr::TrackedDeviceIndex_t index, const std::vector<sPropertyRecord>& records) {
    for (const sPropertyRecord& record : records) {
        out << "property index=" << index << " id=" << static_cast<int>(record.prop)
            << " name=" << PropertyName(record.prop);
        // The value goes last: it is the one field that may hold blanks.
        out << " writes=" << record.driverWrites;
        if (record.error != vr::TrackedProp_Success) {
            out << " type=error value=" << static_cast<int>(record.error) << "\n";
        } else {
            out << " type=" << PropertyTypeName(record.tag) << " value=" << FormatPropertyValue(record) << "\n";
        }
    }
}

// Statistics keep a fixed number of decimals: enough resolution, stable text.
std::string Rounded(double value, int decimals) {
    if (!std::isfinite(value)) return FormatNumber(value);
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    return FormatNumber(rounded == 0.0 ? 0.0 : rounded);
}

void WriteImuStream(std::ostream& out, const sImuStreamStats& s) {
    out << "imustream path=" << QuoteText(s.path) << " device=" << QuoteText(s.device) << " produced=" << s.produced
        << " read=" << s.read << " dropped=" << s.dropped << " pending=" << s.pending << " reads=" << s.readCalls
        << " polls=" << s.polls << " pollMedianMs=" << Rounded(s.pollMedianMs, 4)
        << " pollP99Ms=" << Rounded(s.pollP99Ms, 4) << "\n";
}

void WriteAccuracy(std::ostream& out, const sAccuracyReport& r) {
    out << "accuracy index=" << r.index << " serial=" << QuoteText(r.serial) << " rigidBody=" << r.rigidBodyId
        << " imuStream=" << (r.imuStream ? 1 : 0) << " validPoses=" << r.validPoses << " samples=" << r.samples
        << " updatesPerSecond=" << Rounded(r.updatesPerSecond, 1) << " poseAgeMeanMs=" << Rounded(r.poseAgeMeanMs, 3)
        << " poseAgeP99Ms=" << Rounded(r.poseAgeP99Ms, 3) << " positionRmsMm=" << Rounded(r.positionRmsMm, 3)
        << " positionP99Mm=" << Rounded(r.positionP99Mm, 3) << " orientationRmsDeg=" << Rounded(r.orientationRmsDeg, 4)
        << " orientationP99Deg=" << Rounded(r.orientationP99Deg, 4) << "\n";
}

// Beside the accuracy line: the same device as the wearer sees it at the display refreshes.
void WriteDisplayAccuracy(std::ostream& out, const sAccuracyReport& r) {
    out << "display index=" << r.index << " serial=" << QuoteText(r.serial) << " samples=" << r.displaySamples
        << " carryMeanMs=" << Rounded(r.displayCarryMeanMs, 3) << " positionRmsMm=" << Rounded(r.displayPositionRmsMm, 3)
        << " positionP99Mm=" << Rounded(r.displayPositionP99Mm, 3)
        << " orientationRmsDeg=" << Rounded(r.displayOrientationRmsDeg, 4)
        << " orientationP99Deg=" << Rounded(r.displayOrientationP99Deg, 4) << "\n";
}

}  // namespace

std::string InitErrorName(vr::EVRInitError error) {
    switch (static_cast<int>(error)) {
        case 0: return "VRInitError_None";
        case 1: return "VRInitError_Unknown";
        case 103: return "VRInitError_Init_FileNotFound";
        case 104: return "VRInitError_Init_FactoryNotFound";
        case 105: return "VRInitError_Init_InterfaceNotFound";
        case 108: return "VRInitError_Init_HmdNotFound";
        case 109: return "VRInitError_Init_NotInitialized";
        default: return "VRInitError_" + std::to_string(static_cast<int>(error));
    }
}

const char* DeviceClassName(vr::ETrackedDeviceClass deviceClass) {
    switch (deviceClass) {
        case vr::TrackedDeviceClass_Invalid: return "Invalid";
        case vr::TrackedDeviceClass_HMD: return "HMD";
        case vr::TrackedDeviceClass_Controller: return "Controller";
        case vr::TrackedDeviceClass_GenericTracker: return "GenericTracker";
        case vr::TrackedDeviceClass_TrackingReference: return "TrackingReference";
        case vr::TrackedDeviceClass_DisplayRedirect: return "DisplayRedirect";
        default: return "Unknown";
    }
}

std::string FormatSummary(const sSummaryData& data) {
    std::ostringstream out;
    out << "--- vrhost summary ---\n";
    out << "driver name=" << QuoteText(data.driverName) << " library=" << QuoteText(data.library) << "\n";
    if (data.initCalled) {
        out << "init result=" << static_cast<int>(data.initResult) << " name=" << InitErrorName(data.initResult)
            << "\n";
    } else {
        out << "init result=none\n";
    }
    out << "frames count=" << data.frames << " seconds=" << FormatNumber(std::round(data.runSeconds * 1000.0) / 1000.0)
        << "\n";
    out << "log messages=" << data.logMessages << "\n";
    out << "hmd index=0 trackingSystem="
        << (data.hmdTrackingSystem ? QuoteText(*data.hmdTrackingSystem) : std::string("unset"))
        << " serial=" << QuoteText(data.hmdSerial) << "\n";
    WriteProperties(out, 0, data.hmdProperties);
    out << "devices count=" << data.devices.size() << "\n";
    for (size_t i = 0; i < data.devices.size(); ++i) {
        const sDeviceRecord& d = data.devices[i];
        out << "device index=" << d.index << " serial=" << QuoteText(d.serial)
            << " class=" << DeviceClassName(d.deviceClass) << " classId=" << static_cast<int>(d.deviceClass)
            << " activate=" << (d.activated ? std::to_string(static_cast<int>(d.activateResult)) : "none")
            << " deactivated=" << (d.deactivated ? 1 : 0) << "\n";
        if (i < data.deviceProperties.size()) WriteProperties(out, d.index, data.deviceProperties[i]);
        out << "poses index=" << d.index << " count=" << d.poseUpdates << "\n";
        if (d.hasLastPose) {
            const vr::DriverPose_t& p = d.lastPose.pose;
            const sWorldPose& w = d.lastPose.world;
            out << "lastpose index=" << d.index << " time=" << FormatNumber(d.lastPose.hostTime)
                << " valid=" << (p.poseIsValid ? 1 : 0) << " result=" << static_cast<int>(p.result)
                << " connected=" << (p.deviceIsConnected ? 1 : 0) << " position=" << Triple(p.vecPosition)
                << " rotation=" << Quaternion(p.qRotation) << " worldPosition=" << Triple(w.position)
                << " worldRotation=" << FormatNumber(w.rotation[0]) << "," << FormatNumber(w.rotation[1]) << ","
                << FormatNumber(w.rotation[2]) << "," << FormatNumber(w.rotation[3]) << "\n";
        }
    }
    if (data.scenario) {
        out << "scenario name=" << QuoteText(*data.scenario) << " settleSeconds=" << FormatNumber(data.settleSeconds)
            << " displayPredictionMs=" << Rounded(data.displayPredictionSeconds * 1000.0, 3) << "\n";
        for (const sAccuracyReport& report : data.accuracy) {
            WriteAccuracy(out, report);
            WriteDisplayAccuracy(out, report);
        }
        for (const sImuStreamStats& stream : data.imuStreams) WriteImuStream(out, stream);
    }
    out << "rejected poses=" << data.rejectedPoseUpdates << "\n";
    out << "--- end of summary ---\n";
    return out.str();
}

}  // namespace vrhost
