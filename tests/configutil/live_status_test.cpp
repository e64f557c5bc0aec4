// What the utility makes of the driver's answers without a runtime: answers judged
// (cut, not JSON, another protocol, refused), the status put in words for each
// device state, the panel showing it, calibrations saved all or nothing, and a
// calibration result put in words.
#include "CalibrationOutcomeText.h"
#include "CalibrationSettings.h"
#include "DriverLink.h"
#include "LiveStatus.h"
#include "StatusPanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <map>
#include <string>

namespace {

using nlohmann::json;

sDriverAnswer Answer(const std::string& text) {
    return cDriverLink::ReadAnswer("status", text.c_str(), static_cast<uint32_t>(text.size() + 1), 32768);
}

TEST(DriverAnswer, OnlyACompleteObjectOfTheProtocolIsAnAnswer) {
    const std::string good = R"({"protocol":"halvex/1","ok":true,"request":"status"})";
    EXPECT_TRUE(Answer(good).Ok());
    EXPECT_EQ(Answer(good).body["request"], "status");

    const sDriverAnswer cut = cDriverLink::ReadAnswer("status", R"({"protocol":"hal)", 40000, 16);
    EXPECT_EQ(cut.error, eDriverLinkError::Malformed);
    EXPECT_NE(cut.message.find("cut short"), std::string::npos) << cut.message;
    for (const char* text : {"", "status: fine", "[1,2]", R"({"protocol":"halvex/2","ok":true})",
                             R"({"ok":true})", R"({"protocol":"halvex/1","ok":"yes"})"}) {
        const sDriverAnswer answer = Answer(text);
        EXPECT_EQ(answer.error, eDriverLinkError::Malformed) << text;
        EXPECT_NE(answer.message.find("different versions"), std::string::npos) << text;
    }

    const sDriverAnswer refused =
        Answer(R"({"protocol":"halvex/1","ok":false,"request":"record","error":"head: ask again"})");
    EXPECT_EQ(refused.error, eDriverLinkError::Refused);
    EXPECT_EQ(refused.message, "The driver refused \"status\": head: ask again");
}

TEST(DriverLink, WithoutARuntimeEveryRequestSaysToStartIt) {
    cDriverLink link(nullptr, nullptr);
    const sDriverAnswer answer = link.Ask("status");
    EXPECT_EQ(answer.error, eDriverLinkError::RuntimeGone);
    EXPECT_NE(answer.message.find("Start it"), std::string::npos) << answer.message;
}

json Device(const char* role, json fields) {
    json device = {{"role", role},          {"serial", "s"},          {"rigidBodyId", 3}, {"active", true},
                   {"valid", true},         {"mode", "fused"},        {"secondsSinceOptical", 0.01},
                   {"secondsSinceImu", 0.001}, {"filterResets", 0}, {"recording", false}};
    if (fields.is_object()) device.update(fields);
    return device;
}

// A list of one device must be spelled json::array({...}): gcc and clang read a braced
// single json as an array and as a copy respectively.
sDriverAnswer Status(json server, json devices) {
    json body = {{"protocol", "halvex/1"}, {"ok", true}, {"request", "status"}, {"server", server},
                 {"devices", devices}};
    return Answer(body.dump());
}

const json kStreaming = {{"state", "streaming"}, {"frameRate", 119.6}, {"latencyMs", 12.34}};

TEST(LiveStatus, EachDeviceStateInWordsWithAHintForWhatIsWrong) {
    const sLiveStatusText text = DescribeStatus(Status(
        kStreaming, {Device("head", {}), Device("controllerA", {{"mode", "direct"}, {"secondsSinceOptical", 2.34}}),
                     Device("controllerB", {{"valid", false}, {"secondsSinceOptical", nullptr}})}));
    EXPECT_EQ(text.server.state, "streaming");
    EXPECT_FALSE(text.server.bad);
    EXPECT_EQ(text.frameRate, "120 Hz");
    EXPECT_EQ(text.latency, "12.3 ms");
    EXPECT_EQ(text.devices[0].line.state, "tracking, fused with the IMU");
    EXPECT_TRUE(text.devices[0].line.hint.isEmpty());
    EXPECT_EQ(text.devices[1].line.state, "occluded since 2.3 s") << "valid or not, stale optical samples are occlusion";
    EXPECT_TRUE(text.devices[1].line.bad);
    EXPECT_TRUE(text.devices[1].line.hint.contains("markers in view"));
    EXPECT_EQ(text.devices[2].line.state, "no data");
    EXPECT_TRUE(text.devices[2].line.hint.contains("rigid body with this ID")) << text.devices[2].line.hint.toStdString();

    const sLiveStatusText direct =
        DescribeStatus(Status(kStreaming, {Device("head", {{"mode", "direct"}}),
                                           Device("controllerA", {{"valid", false}}),
                                           Device("controllerB", {{"active", false}})}));
    EXPECT_EQ(direct.devices[0].line.state, "tracking, optical only");
    EXPECT_EQ(direct.devices[1].line.state, "not tracking yet");
    EXPECT_EQ(direct.devices[2].line.state, "not active");
    EXPECT_TRUE(direct.devices[2].line.bad);
}

TEST(LiveStatus, ADeviceMissingFromTheStatusIsNotEnabledAndAStoppedStreamHasNoData) {
    const sLiveStatusText text =
        DescribeStatus(Status({{"state", "searching"}, {"frameRate", 0}, {"latencyMs", nullptr}},
                              json::array({Device("head", {{"valid", false}, {"secondsSinceOptical", 5.0}})})));
    EXPECT_EQ(text.server.state, "searching");
    EXPECT_TRUE(text.server.bad);
    EXPECT_TRUE(text.server.hint.contains("server and local addresses"));
    EXPECT_EQ(text.latency, "\u2014");
    EXPECT_EQ(text.devices[0].line.state, "no data") << "without a stream an old sample is no occlusion";
    for (int i : {1, 2}) {
        EXPECT_EQ(text.devices[i].line.state, "not enabled");
        EXPECT_FALSE(text.devices[i].line.bad) << "tracking fewer devices is allowed";
    }
    const sLiveStatusText connected = DescribeStatus(Status({{"state", "connected"}}, json::array()));
    EXPECT_TRUE(connected.server.hint.contains("start streaming"));
}

TEST(LiveStatus, TheCalibrationIsShownWhenTheStatusCarriesIt) {
    const json calibrated = {{"identity", false},
                             {"rotationDeg", {2.5, -1.5, 3}},
                             {"translationMm", {20, -30, 25}},
                             {"opticalTimeOffsetMs", 4.26}};
    const sLiveStatusText text = DescribeStatus(Status(
        kStreaming, {Device("head", {{"calibration", calibrated}}),
                     Device("controllerA", {{"calibration", {{"identity", true}}}}), Device("controllerB", {})}));
    EXPECT_EQ(text.devices[0].calibration.toStdString(),
              "rotation 2.50, -1.50, 3.00 \u00B0, position 20.0, -30.0, 25.0 mm, time offset 4.3 ms");
    EXPECT_EQ(text.devices[1].calibration, "none");
    EXPECT_TRUE(text.devices[2].calibration.isEmpty()) << "a driver without the key says nothing of it";
}

TEST(LiveStatus, AFailedRequestShowsItsMessageAndNoStaleState) {
    cDriverLink link(nullptr, nullptr);
    const sLiveStatusText text = DescribeStatus(link.Ask("status"));
    EXPECT_EQ(text.server.state, "unknown");
    EXPECT_TRUE(text.server.hint.contains("not running"));
    for (const sDeviceStatusText& device : text.devices) EXPECT_EQ(device.line.state, "unknown");
}

TEST(StatusPanel, BadStatesAreRedWithTheirHintAndGoodOnesPlain) {
    cStatusPanel panel;
    panel.show();
    EXPECT_EQ(panel.title(), "Live Status");
    panel.Show(DescribeStatus(Status(kStreaming, json::array({Device("head", {{"secondsSinceOptical", 3.0}})}))));
    EXPECT_EQ(panel.ServerLabel()->text(), "streaming");
    EXPECT_FALSE(panel.ServerHintLabel()->isVisible());
    EXPECT_EQ(panel.FrameRateLabel()->text(), "120 Hz");
    EXPECT_EQ(panel.DeviceLabel(0)->text(), "occluded since 3.0 s");
    EXPECT_EQ(panel.DeviceLabel(0)->styleSheet(), "color: #D00");
    EXPECT_TRUE(panel.DeviceHintLabel(0)->isVisible());
    EXPECT_FALSE(panel.CalibrationLabel(0)->isVisible());

    panel.Show(DescribeStatus(Status(kStreaming, json::array({Device("head", {{"calibration", {{"identity", true}}}})}))));
    EXPECT_EQ(panel.DeviceLabel(0)->styleSheet(), "");
    EXPECT_FALSE(panel.DeviceHintLabel(0)->isVisible()) << "the hint goes with the bad state";
    EXPECT_EQ(panel.CalibrationLabel(0)->text(), "Calibration: none");
    EXPECT_TRUE(panel.CalibrationLabel(0)->isVisible());
}

// A settings store in memory that refuses the write of one key.
class cRefusingSettings : public vr::IVRSettings {
public:
    std::string refusedKey;
    std::map<std::string, std::string> strings;
    std::map<std::string, float> floats;

    const char* GetSettingsErrorNameFromEnum(vr::EVRSettingsError) override { return "WriteFailed"; }
    void SetBool(const char*, const char*, bool, vr::EVRSettingsError* e) override { *e = vr::VRSettingsError_WriteFailed; }
    void SetInt32(const char*, const char*, int32_t, vr::EVRSettingsError* e) override { *e = vr::VRSettingsError_WriteFailed; }
    void SetFloat(const char*, const char* key, float value, vr::EVRSettingsError* e) override {
        if (Refuse(key, e)) return;
        floats[key] = value;
    }
    void SetString(const char*, const char* key, const char* value, vr::EVRSettingsError* e) override {
        if (Refuse(key, e)) return;
        strings[key] = value;
    }
    bool GetBool(const char*, const char*, vr::EVRSettingsError* e) override { return Missing(e), false; }
    int32_t GetInt32(const char*, const char*, vr::EVRSettingsError* e) override { return Missing(e), 0; }
    float GetFloat(const char*, const char* key, vr::EVRSettingsError* e) override {
        const auto found = floats.find(key);
        if (found == floats.end()) return Missing(e), 0.0f;
        *e = vr::VRSettingsError_None;
        return found->second;
    }
    void GetString(const char*, const char* key, char* value, uint32_t size, vr::EVRSettingsError* e) override {
        const auto found = strings.find(key);
        if (found == strings.end() || found->second.size() >= size) return Missing(e);
        std::snprintf(value, size, "%s", found->second.c_str());
        *e = vr::VRSettingsError_None;
    }
    void RemoveSection(const char*, vr::EVRSettingsError* e) override { *e = vr::VRSettingsError_None; }
    void RemoveKeyInSection(const char*, const char* key, vr::EVRSettingsError* e) override {
        strings.erase(key);
        floats.erase(key);
        *e = vr::VRSettingsError_None;
    }

private:
    bool Refuse(const char* key, vr::EVRSettingsError* e) {
        *e = refusedKey == key ? vr::VRSettingsError_WriteFailed : vr::VRSettingsError_None;
        return refusedKey == key;
    }
    static void Missing(vr::EVRSettingsError* e) { *e = vr::VRSettingsError_UnsetSettingHasNoDefault; }
};

TEST(CalibrationSettings, AllKeysAreWrittenTypedOrNoneIsChanged) {
    halvex::sDeviceCalibration calibration;
    calibration.rigidBodyInDevice.translation() = Eigen::Vector3d(0.02, -0.03, 0.025);
    calibration.opticalTimeOffset = 0.004;
    cRefusingSettings settings;
    std::string error;
    ASSERT_TRUE(WriteCalibrations(&settings, {{"Head", calibration}}, error)) << error;
    EXPECT_NEAR(settings.floats.at("calibrationHeadOpticalTimeOffsetMs"), 4.0f, 1e-5f);
    halvex::sDeviceCalibration parsed;
    std::string reason;
    ASSERT_TRUE(halvex::ParseCalibrationField(halvex::calibration_keys::kRigidBodyInDevice,
                                              settings.strings.at("calibrationHeadRigidBodyInDevice"), parsed, reason))
        << reason;
    EXPECT_NEAR(parsed.rigidBodyInDevice.translation().y(), -0.03, 1e-9);

    // A second calibration for the head and a first for controller A; the store refuses a late key.
    const std::map<std::string, std::string> strings = settings.strings;
    const std::map<std::string, float> floats = settings.floats;
    settings.refusedKey = "calibrationControllerAGyroBias";
    halvex::sDeviceCalibration other;
    other.opticalTimeOffset = -0.01;
    EXPECT_FALSE(WriteCalibrations(&settings, {{"Head", other}, {"ControllerA", other}}, error));
    EXPECT_NE(error.find("calibrationControllerAGyroBias"), std::string::npos) << error;
    EXPECT_NE(error.find("left as they were"), std::string::npos) << error;
    EXPECT_EQ(settings.strings, strings);
    EXPECT_EQ(settings.floats, floats) << "the head's keys written before the refusal were put back, A's removed";

    EXPECT_FALSE(WriteCalibrations(nullptr, IdentityCalibrations(), error));
    EXPECT_NE(error.find("start the runtime"), std::string::npos);
}

// The wizard's words for a result: an orientation-only headset's position is no estimate
// of zero, and a refusal says what to do.
TEST(CalibrationOutcome, SaysWhatWasEstimatedAndNothingElse) {
    halvex::calibrate::sRecordedDevice head;
    head.slot = "Head";
    halvex::calibrate::sDeviceOutcome outcome;
    outcome.device = &head;
    outcome.result.ok = true;
    outcome.result.value.rotationDeg = {2.5, -1.5, 3.0};
    outcome.result.value.translationMm = {20.0, -30.0, 25.0};
    outcome.result.value.opticalTimeOffsetMs = -3.0;
    outcome.result.seconds = 61.0;
    const QString full = CalibrationOutcomeText(outcome);
    EXPECT_TRUE(full.contains("position 20.0, -30.0, 25.0 mm")) << full.toStdString();
    EXPECT_TRUE(full.contains("accelerometer")) << full.toStdString();

    outcome.result.orientationOnly = true;
    outcome.result.value.translationMm.setZero();
    const QString rotationOnly = CalibrationOutcomeText(outcome);
    EXPECT_TRUE(rotationOnly.contains("rotation 2.50, -1.50, 3.00\u00B0")) << rotationOnly.toStdString();
    EXPECT_TRUE(rotationOnly.contains("offset -3.0 ms")) << rotationOnly.toStdString();
    EXPECT_TRUE(rotationOnly.contains("position is not estimated")) << rotationOnly.toStdString();
    EXPECT_FALSE(rotationOnly.contains("0.0, 0.0, 0.0")) << rotationOnly.toStdString();
    EXPECT_FALSE(rotationOnly.contains("accelerometer")) << rotationOnly.toStdString();

    outcome.result.ok = false;
    outcome.result.refusal = "turn the head about all three axes: pitch reached only 4 \u00B0/s <now>";
    const QString refused = CalibrationOutcomeText(outcome);
    EXPECT_TRUE(refused.contains("not calibrated: turn the head")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("&lt;now&gt;")) << "the refusal is shown as text, not markup";
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
