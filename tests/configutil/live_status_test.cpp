// What the utility makes of the driver's answers without a runtime: answers judged
// (cut, not JSON, another protocol, refused), the status put in words for each
// device state, and the panel showing it.
#include "DriverLink.h"
#include "LiveStatus.h"
#include "StatusPanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

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
                              {Device("head", {{"valid", false}, {"secondsSinceOptical", 5.0}})}));
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
    panel.Show(DescribeStatus(Status(kStreaming, {Device("head", {{"secondsSinceOptical", 3.0}})})));
    EXPECT_EQ(panel.ServerLabel()->text(), "streaming");
    EXPECT_FALSE(panel.ServerHintLabel()->isVisible());
    EXPECT_EQ(panel.FrameRateLabel()->text(), "120 Hz");
    EXPECT_EQ(panel.DeviceLabel(0)->text(), "occluded since 3.0 s");
    EXPECT_EQ(panel.DeviceLabel(0)->styleSheet(), "color: #D00");
    EXPECT_TRUE(panel.DeviceHintLabel(0)->isVisible());
    EXPECT_FALSE(panel.CalibrationLabel(0)->isVisible());

    panel.Show(DescribeStatus(Status(kStreaming, {Device("head", {{"calibration", {{"identity", true}}}})})));
    EXPECT_EQ(panel.DeviceLabel(0)->styleSheet(), "");
    EXPECT_FALSE(panel.DeviceHintLabel(0)->isVisible()) << "the hint goes with the bad state";
    EXPECT_EQ(panel.CalibrationLabel(0)->text(), "Calibration: none");
    EXPECT_TRUE(panel.CalibrationLabel(0)->isVisible());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
