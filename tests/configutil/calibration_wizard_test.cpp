// The utility against vrhost hosting the driver: the driver link asks a running
// driver (and says what is wrong with a runtime that has none), the status panel
// follows it, and the calibration wizard, driven as a user would, calibrates a
// misdefined head rigid body with the runtime running throughout.
#include "Application.h"
#include "CalibrationWizard.h"
#include "DriverLink.h"
#include "MainWindow.h"
#include "StatusPanel.h"

#include "client_test_support.h"
#include "hosted_runtime.h"
#include "platform/clock.h"
#include "scenario_motion.h"
#include "sim/sensor_error_options.h"
#include "tessaly/server/mocap_server.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

using halvex::test::cHostedRuntime;
using halvex::test::cInProcessRuntime;
using halvex::test::cPrivateStateFolder;
using halvex::test::ReadText;
using halvex::test::WriteText;

constexpr int32_t kHeadId = 3;
const char kRigidBodyError[] = "2.5,-1.5,3,20,-30,25";
// The user's minute: the head is judged against 1.2x its accuracy without the rigid
// body error, and with ideal sensors a shorter recording leaves it past that.
constexpr int kRecordSeconds = 60;

struct sClientSession {
    sClientSession() { system = vr::VR_Init(&error, vr::VRApplication_Background); }
    ~sClientSession() {
        if (system) vr::VR_Shutdown();
    }
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRSystem* system = nullptr;
};

vr::IVRDebug* DebugInterface() {
    vr::EVRInitError error = vr::VRInitError_None;
    return static_cast<vr::IVRDebug*>(vr::VR_GetGenericInterface(vr::IVRDebug_Version, &error));
}

// A mocap server streaming the head along the calibration motion with realistic
// optical errors, off its true frame by `rigidBodyError` ("" for none).
class cCalibrationServer {
public:
    cCalibrationServer() {
        tessaly::server::sMocapServerConfig config;
        config.frameRateHz = 120.0;
        config.latencySeconds = 0.012;
        mServer = std::make_unique<tessaly::server::cMocapServer>(config);
        Stream("");
        std::string error;
        EXPECT_TRUE(mServer->Start(&error)) << error;
        halvex::test::SetEnvironment("TESSALY_DISCOVERY_ADDRESSES", mServer->DiscoveryEntry());
    }
    void Stream(const std::string& rigidBodyError) {
        sim::sSensorErrorOverrides errors;
        if (!rigidBodyError.empty()) {
            std::string reason;
            EXPECT_TRUE(sim::ParseRigidBodyError(rigidBodyError, errors.rigidBodyError, reason)) << reason;
            errors.hasRigidBodyError = true;
        }
        mServer->SetRigidBodyMotion(kHeadId, corvane_sim::ScenarioRigidBodyMotion("calibration", kHeadId,
                                                                                  sim::eSensorProfile::Realistic,
                                                                                  120.0, errors));
    }

private:
    std::unique_ptr<tessaly::server::cMocapServer> mServer;
};

std::filesystem::path WriteSettings(const cPrivateStateFolder& state) {
    const std::filesystem::path file = state.Root() / "vrhost.vrsettings";
    WriteText(file, R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "trackingType": "Standard"}})");
    return file;
}

TEST(DriverLink, AsksTheRunningDriverThroughItsHead) {
    cPrivateStateFolder state;
    cCalibrationServer server;
    cHostedRuntime runtime(WriteSettings(state), {"lighthouse/LHR-AAAA"});
    ASSERT_TRUE(runtime.Start());
    sClientSession session;
    ASSERT_NE(session.system, nullptr);
    cDriverLink link(session.system, DebugInterface());
    sDriverAnswer status;
    ASSERT_TRUE(runtime.RunUntil([&] {
        status = link.Ask("status");
        return status.Ok() && status.body["server"]["state"] == "streaming";
    }, 15.0)) << status.message << status.body.dump() << runtime.Log();
    ASSERT_EQ(status.body["devices"].size(), 1u);
    EXPECT_EQ(status.body["devices"][0]["role"], "head");
    const sDriverAnswer unknown = link.Ask("fly");
    EXPECT_EQ(unknown.error, eDriverLinkError::Refused);
    EXPECT_NE(unknown.message.find("unknown request"), std::string::npos) << unknown.message;
    runtime.Stop();
}

TEST(DriverLink, ARuntimeWithoutTheDriverOrWhoseDriverDoesNotAnswer) {
    cPrivateStateFolder state;
    cInProcessRuntime runtime(state.Root() / "runtime.vrsettings");
    runtime.AddDevice(0, vr::TrackedDeviceClass_HMD, "lighthouse", "lighthouse/LHR-HMD");
    ASSERT_TRUE(runtime.Start());
    sClientSession session;
    ASSERT_NE(session.system, nullptr);
    cDriverLink link(session.system, DebugInterface());
    const sDriverAnswer none = link.Ask("status");
    EXPECT_EQ(none.error, eDriverLinkError::NoDriverDevice);
    EXPECT_NE(none.message.find("Enable a device"), std::string::npos) << none.message;

    // A device of the driver's tracking system whose driver takes no requests.
    runtime.AddDevice(4, vr::TrackedDeviceClass_GenericTracker, "halvex", "halvex/halvex-head");
    const sDriverAnswer silent = link.Ask("status");
    EXPECT_EQ(silent.error, eDriverLinkError::NotAnswering);
    EXPECT_NE(silent.message.find("did not answer"), std::string::npos) << silent.message;
}

// Answers the next question box with Yes.
void AnswerYesSoon() {
    QTimer::singleShot(50, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
}

// vrhost with the calibration motion, the head streamed by `mServer`, and the
// utility connected to it once Start says how long its countdown is.
class CalibrationWizard : public ::testing::Test {
protected:
    void SetUp() override {
        mRuntime = std::make_unique<cHostedRuntime>(mSettingsFile, std::vector<std::string>{}, "calibration", true);
        ASSERT_TRUE(mRuntime->Start());
        ASSERT_TRUE(Until([&] { return mRuntime->HeadPoseValid(); }, 15.0)) << mRuntime->Log();
    }
    void TearDown() override {
        mApplication.reset();
        if (mRuntime) mRuntime->Stop();
    }
    cApplication& Start(int recordSeconds) {
        mApplication = std::make_unique<cApplication>(mArgc, mArgv);
        mApplication->SetCalibrationSeconds(recordSeconds);
        return *mApplication;
    }
    // Frames and Qt events until `done` or `seconds` pass.
    bool Until(const std::function<bool()>& done, double seconds) {
        return mRuntime->RunUntil([&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return done();
        }, seconds);
    }
    void For(double seconds) { Until([] { return false; }, seconds); }
    // The head's error over `seconds` from now.
    void MeasureHead(double seconds, double& positionMm, double& orientationDeg) {
        const double from = halvex::platform::NowSeconds();
        For(seconds);
        size_t samples = 0;
        positionMm = orientationDeg = -1.0;
        EXPECT_TRUE(mRuntime->HeadErrorSince(from, positionMm, orientationDeg, samples));
        EXPECT_GT(samples, 100u);
    }

    cPrivateStateFolder mState;
    const std::filesystem::path mSettingsFile = WriteSettings(mState);
    cCalibrationServer mServer;
    std::unique_ptr<cHostedRuntime> mRuntime;
    int mArgc = 1;
    char mName[32] = "driver_halvex_configutil";
    char* mArgv[2] = {mName, nullptr};
    std::unique_ptr<cApplication> mApplication;
};

TEST_F(CalibrationWizard, CalibratesAMisdefinedHeadWithTheRuntimeRunningAndClearsItAgain) {
    cApplication& application = Start(kRecordSeconds);
    ASSERT_TRUE(application.IsOpenvrInitialized());
    cStatusPanel& panel = *application.MainWindow()->StatusPanel();
    ASSERT_TRUE(Until([&] { return panel.DeviceLabel(0)->text() == "tracking, fused with the IMU"; }, 10.0))
        << panel.DeviceLabel(0)->text().toStdString() << " " << panel.DeviceHintLabel(0)->text().toStdString() << " "
        << panel.ServerLabel()->text().toStdString() << " " << panel.ServerHintLabel()->text().toStdString();
    EXPECT_EQ(panel.ServerLabel()->text(), "streaming");
    EXPECT_EQ(panel.DeviceLabel(1)->text(), "not enabled");

    double truePositionMm = 0, trueOrientationDeg = 0;
    MeasureHead(6.0, truePositionMm, trueOrientationDeg);
    mServer.Stream(kRigidBodyError);
    For(1.0);
    double position = 0, orientation = 0;
    MeasureHead(3.0, position, orientation);
    EXPECT_GT(position, 25.0) << "the misdefined rigid body puts the head off";

    panel.CalibrateButton()->click();
    cCalibrationWizard* wizard = application.CalibrationWizard();
    ASSERT_NE(wizard, nullptr);
    ASSERT_EQ(wizard->currentId(), cCalibrationWizard::kPrepare);
    wizard->button(QWizard::NextButton)->click();
    ASSERT_TRUE(Until([&] { return wizard->currentId() == cCalibrationWizard::kMotion; }, 5.0))
        << wizard->ErrorText().toStdString();
    ASSERT_TRUE(Until([&] { return wizard->ProgressBar()->value() > 0; }, 5.0));
    ASSERT_TRUE(Until([&] { return wizard->currentId() == cCalibrationWizard::kResult; },
                              kRecordSeconds + 60.0))
        << wizard->ErrorText().toStdString();
    const QString results = wizard->ResultText();
    EXPECT_TRUE(results.contains("<b>HMD</b>: rigid body rotation")) << results.toStdString();
    EXPECT_EQ(ReadText(mSettingsFile).find("calibrationHead"), std::string::npos) << "nothing saved before Apply";

    wizard->button(QWizard::FinishButton)->click();
    QPointer<cCalibrationWizard> closing(wizard);
    ASSERT_TRUE(Until([&] { return !closing || !closing->isVisible(); }, 5.0))
        << (closing ? closing->ErrorText().toStdString() : "");
    EXPECT_NE(ReadText(mSettingsFile).find("\"calibrationHeadRigidBodyInDevice\""), std::string::npos);

    const double misdefinedPositionMm = position, misdefinedOrientationDeg = orientation;
    // The filter restarts on the new calibration; then the head is where it truly is.
    For(2.0);
    MeasureHead(6.0, position, orientation);
    std::printf("head RMS error: error-free %.3f mm %.3f deg, misdefined %.2f mm %.3f deg, calibrated %.3f mm %.3f deg\n",
                truePositionMm, trueOrientationDeg, misdefinedPositionMm, misdefinedOrientationDeg, position,
                orientation);
    EXPECT_LE(position, 1.2 * truePositionMm) << mRuntime->Log();
    EXPECT_LE(orientation, 1.2 * trueOrientationDeg);
    ASSERT_TRUE(Until([&] { return panel.CalibrationLabel(0)->text().startsWith("Calibration: rotation"); }, 5.0))
        << panel.CalibrationLabel(0)->text().toStdString();

    // Clear: one click, confirmed; the head is off by the rigid body's error again.
    AnswerYesSoon();
    panel.ClearCalibrationButton()->click();
    ASSERT_TRUE(Until([&] { return panel.CalibrationLabel(0)->text() == "Calibration: none"; }, 5.0))
        << panel.CalibrationLabel(0)->text().toStdString();
    For(2.0);
    MeasureHead(3.0, position, orientation);
    EXPECT_GT(position, 25.0);
}

TEST_F(CalibrationWizard, TooShortARecordingSaysWhatToRepeatAndSavesNothing) {
    cApplication& application = Start(4);
    application.MainWindow()->StatusPanel()->CalibrateButton()->click();
    cCalibrationWizard* wizard = application.CalibrationWizard();
    ASSERT_NE(wizard, nullptr);
    wizard->button(QWizard::NextButton)->click();
    ASSERT_TRUE(Until([&] { return wizard->currentId() == cCalibrationWizard::kResult; }, 40.0))
        << wizard->ErrorText().toStdString();
    const QString results = wizard->ResultText();
    EXPECT_TRUE(results.contains("<b>HMD</b>: not calibrated: record at least 20 s"))
        << results.toStdString();
    EXPECT_TRUE(results.contains("Nothing to apply")) << results.toStdString();
    EXPECT_FALSE(wizard->button(QWizard::FinishButton)->isEnabled());
    wizard->reject();
    For(0.5);
    EXPECT_EQ(ReadText(mSettingsFile).find("calibration"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
