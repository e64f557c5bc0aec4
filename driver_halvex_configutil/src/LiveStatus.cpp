#include "LiveStatus.h"

#include <QCoreApplication>

#include <cmath>

namespace {

using nlohmann::json;

struct sRoleName {
    const char* role;
    const char* name;
};
const sRoleName kRoles[] = {{"head", "HMD"}, {"controllerA", "Controller A"}, {"controllerB", "Controller B"}};

QString Tr(const char* text) { return QCoreApplication::translate("LiveStatus", text); }

bool Number(const json& object, const char* key, double& value) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_number()) return false;
    value = object[key].get<double>();
    return std::isfinite(value);
}

bool Flag(const json& object, const char* key) {
    return object.is_object() && object.contains(key) && object[key].is_boolean() && object[key].get<bool>();
}

std::string Text(const json& object, const char* key) {
    return object.is_object() && object.contains(key) && object[key].is_string() ? object[key].get<std::string>()
                                                                                  : std::string();
}

sStatusLine Bad(const QString& state, const QString& hint) { return {state, hint, true}; }

sStatusLine ServerLine(const json& server) {
    const std::string state = Text(server, "state");
    if (state == "streaming") return {Tr("streaming"), QString(), false};
    if (state == "connected")
        return Bad(Tr("connected, no frames"),
                   Tr("The mocap server answers but sends no frames: start streaming in the mocap software."));
    if (state == "connecting") return Bad(Tr("connecting"), Tr("Connecting to the mocap server; wait a moment."));
    if (state == "searching")
        return Bad(Tr("searching"), Tr("No mocap server found yet: check that it runs and that the server and local "
                                       "addresses under Connection are right, then Save and restart the runtime."));
    return Bad(Tr("idle"), Tr("The driver is not looking for a mocap server: check the connection settings."));
}

QString Triple(const json& values, const char* unit, int decimals) {
    if (!values.is_array() || values.size() != 3) return QString();
    QStringList parts;
    for (const json& v : values) parts << (v.is_number() ? QString::number(v.get<double>(), 'f', decimals) : "?");
    return parts.join(", ") + " " + unit;
}

QString CalibrationText(const json& device) {
    if (!device.contains("calibration") || !device["calibration"].is_object()) return QString();
    const json& c = device["calibration"];
    if (Flag(c, "identity")) return Tr("none");
    double offset = 0.0;
    const QString offsetText = Number(c, "opticalTimeOffsetMs", offset) ? QString::number(offset, 'f', 1) : "?";
    return Tr("rotation %1, position %2, time offset %3 ms")
        .arg(Triple(c.value("rotationDeg", json()), "\u00B0", 2), Triple(c.value("translationMm", json()), "mm", 1),
             offsetText);
}

sStatusLine DeviceLine(const json& device, bool streaming) {
    double rigidBody = 0.0;
    Number(device, "rigidBodyId", rigidBody);
    if (!Flag(device, "active"))
        return Bad(Tr("not active"), Tr("The runtime has not activated this device; restart the runtime if it stays so."));
    double sinceOptical = 0.0;
    const bool hadOptical = Number(device, "secondsSinceOptical", sinceOptical);
    const QString body = QString::number(static_cast<long long>(rigidBody));
    if (!hadOptical || !streaming) {
        return Bad(Tr("no data"), Tr("No pose of rigid body %1 has arrived: check that the mocap software streams a "
                                     "rigid body with this ID and that the ID below is right.")
                                      .arg(body));
    }
    if (sinceOptical > kOccludedAfterSeconds) {
        return Bad(Tr("occluded since %1 s").arg(QString::number(sinceOptical, 'f', 1)),
                   Tr("The cameras do not see rigid body %1: keep its markers in view and uncovered.").arg(body));
    }
    if (!Flag(device, "valid"))
        return Bad(Tr("not tracking yet"), Tr("Samples arrive but the pose is not valid yet; wait a few seconds."));
    return {Text(device, "mode") == "fused" ? Tr("tracking, fused with the IMU") : Tr("tracking, optical only"),
            QString(), false};
}

}  // namespace

sLiveStatusText DescribeStatus(const sDriverAnswer& answer) {
    sLiveStatusText text;
    for (size_t i = 0; i < text.devices.size(); ++i) text.devices[i].name = Tr(kRoles[i].name);
    if (!answer.Ok()) {
        text.server = Bad(Tr("unknown"), QString::fromStdString(answer.message));
        text.frameRate = text.latency = "\u2014";
        for (sDeviceStatusText& device : text.devices) device.line = {Tr("unknown"), QString(), false};
        return text;
    }
    const json& body = answer.body;
    const json server = body.value("server", json::object());
    text.server = ServerLine(server);
    double value = 0.0;
    text.frameRate = Number(server, "frameRate", value) ? Tr("%1 Hz").arg(QString::number(value, 'f', 0)) : "\u2014";
    text.latency = Number(server, "latencyMs", value) ? Tr("%1 ms").arg(QString::number(value, 'f', 1)) : "\u2014";
    const bool streaming = Text(server, "state") == "streaming";
    const json devices = body.value("devices", json::array());
    for (size_t i = 0; i < text.devices.size(); ++i) {
        sDeviceStatusText& out = text.devices[i];
        // Not wrong in itself: a user may track fewer devices.
        out.line = {Tr("not enabled"), Tr("To use it, enable it below with its rigid body ID, Save, and restart the runtime."),
                    false};
        if (!devices.is_array()) continue;
        for (const json& device : devices) {
            if (Text(device, "role") != kRoles[i].role) continue;
            out.line = DeviceLine(device, streaming);
            out.calibration = CalibrationText(device);
        }
    }
    return text;
}
