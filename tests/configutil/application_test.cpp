// The utility's application logic against the real client library: loading and
// saving through a running runtime or the settings file alone, message boxes
// answered the way a person would, and the runtime's events.
#include "Application.h"
#include "MainWindow.h"
#include "QuitOnSignal.h"

#include "client_test_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

using halvex::test::cInProcessRuntime;
using halvex::test::cPrivateStateFolder;
using halvex::test::ReadText;
using halvex::test::WriteText;

// Answers every message box that opens while it lives with OK, remembering each one.
class cMessageBoxAnswerer {
public:
    cMessageBoxAnswerer() {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                mTitles << box->windowTitle();
                mTexts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        mTimer.start(5);
    }
    const QStringList& Titles() const { return mTitles; }
    const QStringList& Texts() const { return mTexts; }

private:
    QTimer mTimer;
    QStringList mTitles;
    QStringList mTexts;
};

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

class Application : public ::testing::Test {
protected:
    std::filesystem::path DefaultFile() const { return mState.Folder() / "vrhost.vrsettings"; }
    std::filesystem::path RuntimeFile() const { return mState.Root() / "runtime.vrsettings"; }

    cApplication& Start() {
        mApplication = std::make_unique<cApplication>(mArgc, mArgv);
        return *mApplication;
    }
    // Runs the event loop until `done` or two seconds pass.
    bool ProcessUntil(const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    }
    cMainWindow& Window() { return *mApplication->MainWindow(); }

    cPrivateStateFolder mState;
    int mArgc = 1;
    char mName[32] = "driver_halvex_configutil";
    char* mArgv[2] = {mName, nullptr};
    std::unique_ptr<cApplication> mApplication;
};

const char* const kStoredSettings = R"({
   "driver_halvex": {
      "tessalyUseMulticast": false,
      "tessalyServerAddress": "127.0.0.2",
      "tessalyLocalAddress": "127.0.0.1",
      "trackingType": "halvexonly",
      "tessalyRigidBodyIdHead": 0,
      "tessalyRigidBodyIdControllerA": -5,
      "tessalyRigidBodyIdControllerB": 7,
      "recordRawData": true
   },
   "TrackingOverrides": {
      "/devices/halvex/halvex-controller-a": "/devices/lighthouse/LHR-A"
   }
})";

TEST_F(Application, LoadsEveryKeyWithTheDefaultsForWhatIsMissingOrWrong) {
    WriteText(DefaultFile(), kStoredSettings);
    Start();
    cMainWindow& w = Window();
    EXPECT_FALSE(mApplication->IsOpenvrInitialized()) << "no runtime runs: the load used a passing utility connection";
    EXPECT_EQ(w.ConnectionTypeBox()->currentIndex(), 1);
    EXPECT_EQ(w.ServerAddressField()->text(), "127.0.0.2");
    EXPECT_EQ(w.LocalAddressField()->text(), "127.0.0.1");
    EXPECT_EQ(w.TrackingTypeBox()->currentIndex(), 0) << "\"halvexonly\" is not \"HalvexOnly\"";
    EXPECT_FALSE(w.HeadEnableBox()->isChecked()) << "ID 0 is no device";
    EXPECT_FALSE(w.ControllerAEnableBox()->isChecked()) << "a negative ID is no device";
    EXPECT_EQ(w.ControllerARigidBodyBox()->value(), 0);
    EXPECT_TRUE(w.ControllerBEnableBox()->isChecked());
    EXPECT_EQ(w.ControllerBRigidBodyBox()->value(), 7);
    EXPECT_TRUE(w.ControllerBRigidBodyBox()->isEnabled());
    EXPECT_EQ(w.HeadOverrideBox()->currentText(), "/user/head");
    EXPECT_EQ(w.ControllerAOverrideBox()->currentText(), "/devices/lighthouse/LHR-A");
    EXPECT_EQ(w.ControllerBOverrideBox()->currentText(), "/user/hand/right");
    EXPECT_EQ(Items(w.ControllerBOverrideBox()), (QStringList{"", "/devices/lighthouse/LHR-A"}));

    EXPECT_TRUE(mApplication->LoadSettings());
    EXPECT_EQ(Items(w.ControllerAOverrideBox()),
              (QStringList{"", "/devices/lighthouse/LHR-A", "/devices/lighthouse/LHR-A"}))
        << "each load appends the stored override again";
}

TEST_F(Application, SaveWritesTheTenKeysAndRemovesThoseOfDisabledDevices) {
    WriteText(DefaultFile(), kStoredSettings);
    Start();
    cMainWindow& w = Window();
    w.ConnectionTypeBox()->setCurrentIndex(0);
    w.ServerAddressField()->setText("127.0.0.3");
    w.TrackingTypeBox()->setCurrentIndex(2);
    w.HeadEnableBox()->setChecked(true);
    w.HeadRigidBodyBox()->setValue(11);
    w.ControllerAEnableBox()->setChecked(true);
    w.ControllerARigidBodyBox()->setValue(12);
    w.ControllerAOverrideBox()->setEditText("/devices/lighthouse/LHR-TYPED");
    w.ControllerBEnableBox()->setChecked(true);
    w.ControllerBRigidBodyBox()->setValue(0);

    cMessageBoxAnswerer answerer;
    EXPECT_TRUE(mApplication->SaveSettings());
    EXPECT_TRUE(answerer.Texts().isEmpty()) << answerer.Texts().join("|").toStdString();
    const std::string text = ReadText(DefaultFile());
    for (const char* expected :
         {"\"tessalyUseMulticast\": true", "\"tessalyServerAddress\": \"127.0.0.3\"",
          "\"tessalyLocalAddress\": \"127.0.0.1\"", "\"trackingType\": \"HMDOnly\"", "\"tessalyRigidBodyIdHead\": 11",
          "\"/devices/halvex/halvex-head\": \"/user/head\"", "\"tessalyRigidBodyIdControllerA\": 12",
          "\"/devices/halvex/halvex-controller-a\": \"/devices/lighthouse/LHR-TYPED\"", "\"recordRawData\": true"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_EQ(text.find("tessalyRigidBodyIdControllerB"), std::string::npos) << "enabled with ID 0 is disabled";
    EXPECT_EQ(text.find("halvex-controller-b"), std::string::npos);
    EXPECT_EQ(w.ControllerAOverrideBox()->findText("/devices/lighthouse/LHR-TYPED"), -1) << "typing adds no item";
}

TEST_F(Application, WithNoRuntimeToBeHadSaveShowsTheErrorAndWritesNothing) {
    Start();
    // The settings file turns unreadable after the start: not even a utility gets in now.
    const std::string broken = "{ \"driver_halvex\": ";
    WriteText(DefaultFile(), broken);
    cMessageBoxAnswerer answerer;
    EXPECT_FALSE(mApplication->SaveSettings());
    ASSERT_EQ(answerer.Titles(), QStringList{"Error"});
    EXPECT_TRUE(answerer.Texts().front().startsWith("Unable to save settings: Unable to initialize OpenVR\n("));
    EXPECT_TRUE(answerer.Texts().front().endsWith("(118))")) << answerer.Texts().front().toStdString();
    EXPECT_EQ(ReadText(DefaultFile()), broken);
    EXPECT_FALSE(mApplication->LoadSettings());
    EXPECT_TRUE(answerer.Texts().back().startsWith("Unable to load settings: Unable to initialize OpenVR\n("));
}

TEST_F(Application, AWriteTheRuntimeRefusesBringsOneWarning) {
    // The runtime cannot write its settings file: its folder is a file.
    WriteText(mState.Root() / "blocker", "");
    cInProcessRuntime runtime(mState.Root() / "blocker" / "runtime.vrsettings");
    ASSERT_TRUE(runtime.Start());
    Start();
    ASSERT_TRUE(mApplication->IsOpenvrInitialized());
    cMessageBoxAnswerer answerer;
    EXPECT_TRUE(mApplication->SaveSettings());
    EXPECT_EQ(answerer.Titles(), QStringList{"Warning"});
    EXPECT_EQ(answerer.Texts(), QStringList{"Some settings may not have been saved."});
}

TEST_F(Application, OffersOtherSystemsControllersAndFollowsTheRuntimesLife) {
    WriteText(RuntimeFile(), R"({"driver_halvex": {"tessalyRigidBodyIdControllerA": 4}})");
    auto runtime = std::make_unique<cInProcessRuntime>(RuntimeFile());
    runtime->AddDevice(0, vr::TrackedDeviceClass_HMD, "lighthouse", "lighthouse/LHR-HMD");
    runtime->AddDevice(1, vr::TrackedDeviceClass_GenericTracker, "halvex", "halvex/halvex-head");
    runtime->AddDevice(2, vr::TrackedDeviceClass_Controller, "lighthouse", "lighthouse/LHR-A");
    ASSERT_TRUE(runtime->Start());
    Start();
    cMainWindow& w = Window();
    ASSERT_TRUE(mApplication->IsOpenvrInitialized());
    EXPECT_EQ(w.StatusLabel()->text(), "Initialized");
    EXPECT_FALSE(w.RetryButton()->isEnabled());
    EXPECT_EQ(mApplication->TrackedDevices().size(), 3);
    EXPECT_EQ(w.ControllerARigidBodyBox()->value(), 4);
    EXPECT_EQ(Items(w.ControllerAOverrideBox()), (QStringList{"", "/devices/lighthouse/LHR-A"}))
        << "the headset and the driver's own tracker are no targets";

    runtime->AddDevice(5, vr::TrackedDeviceClass_GenericTracker, "lighthouse", "lighthouse/LHR-T");
    runtime->AddDevice(6, vr::TrackedDeviceClass_Controller, "lighthouse", "");
    runtime->AddDevice(7, vr::TrackedDeviceClass_Controller, "halvex", "halvex/halvex-controller-b");
    // The driver's own name as its devices report it.
    runtime->AddDevice(8, vr::TrackedDeviceClass_Controller, "Halvex", "halvex/halvex-controller-a");
    ASSERT_TRUE(ProcessUntil([&] { return mApplication->TrackedDevices().size() == 7; }));
    EXPECT_EQ(Items(w.ControllerBOverrideBox()), (QStringList{"", "/devices/lighthouse/LHR-A", "/devices/lighthouse/LHR-T"}));

    runtime->RemoveDevice(5);
    ASSERT_TRUE(ProcessUntil([&] { return mApplication->TrackedDevices().size() == 6; }));
    EXPECT_EQ(w.ControllerAOverrideBox()->count(), 3) << "a target stays offered after its device left";

    runtime->Stop(200);
    ASSERT_TRUE(ProcessUntil([&] { return !mApplication->IsOpenvrInitialized(); }));
    EXPECT_EQ(w.StatusLabel()->text(), "<span style='color: #D00'>Not initialized</span>");
    EXPECT_TRUE(w.RetryButton()->isEnabled());
    EXPECT_TRUE(mApplication->TrackedDevices().isEmpty());
    EXPECT_FALSE(mApplication->RetryInitialization());

    runtime = std::make_unique<cInProcessRuntime>(RuntimeFile());
    ASSERT_TRUE(runtime->Start());
    w.RetryButton()->click();
    EXPECT_TRUE(mApplication->IsOpenvrInitialized());
    EXPECT_EQ(w.StatusLabel()->text(), "Initialized");
}

#if !defined(_WIN32)
TEST_F(Application, SigtermAndSigintEndTheEventLoopAndLetGoOfTheRuntime) {
    cInProcessRuntime runtime(RuntimeFile());
    ASSERT_TRUE(runtime.Start());
    Start();
    ASSERT_TRUE(mApplication->IsOpenvrInitialized());
    QuitOnTerminationSignals(mApplication.get());
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        QTimer::singleShot(20, [signalNumber] { std::raise(signalNumber); });
        EXPECT_EQ(mApplication->exec(), 0) << signalNumber;
        EXPECT_FALSE(mApplication->IsOpenvrInitialized()) << "the quit let go of the runtime";
        mApplication->InitializeOpenvr(vr::VRApplication_Other, nullptr);
    }
}
#endif

// A settings store whose failed string reads leave the caller's buffer as it was, as
// a runtime may: only the keys in `mStrings` can be read.
class cBufferKeepingSettings : public vr::IVRSettings {
public:
    explicit cBufferKeepingSettings(std::map<std::string, std::string> strings) : mStrings(std::move(strings)) {}
    const char* GetSettingsErrorNameFromEnum(vr::EVRSettingsError) override { return ""; }
    void SetBool(const char*, const char*, bool, vr::EVRSettingsError* e) override { Fail(e); }
    void SetInt32(const char*, const char*, int32_t, vr::EVRSettingsError* e) override { Fail(e); }
    void SetFloat(const char*, const char*, float, vr::EVRSettingsError* e) override { Fail(e); }
    void SetString(const char*, const char*, const char*, vr::EVRSettingsError* e) override { Fail(e); }
    bool GetBool(const char*, const char*, vr::EVRSettingsError* e) override { return Fail(e), false; }
    int32_t GetInt32(const char*, const char*, vr::EVRSettingsError* e) override { return Fail(e), 0; }
    float GetFloat(const char*, const char*, vr::EVRSettingsError* e) override { return Fail(e), 0.0f; }
    void GetString(const char*, const char* key, char* value, uint32_t size, vr::EVRSettingsError* e) override {
        const auto found = mStrings.find(key);
        if (found == mStrings.end() || found->second.size() >= size) return Fail(e);
        std::memcpy(value, found->second.c_str(), found->second.size() + 1);
        if (e) *e = vr::VRSettingsError_None;
    }
    void RemoveSection(const char*, vr::EVRSettingsError* e) override { Fail(e); }
    void RemoveKeyInSection(const char*, const char*, vr::EVRSettingsError* e) override { Fail(e); }

private:
    static void Fail(vr::EVRSettingsError* e) {
        if (e) *e = vr::VRSettingsError_ReadFailed;
    }
    std::map<std::string, std::string> mStrings;
};

TEST_F(Application, AFailedReadShowsTheFieldsDefaultNotThePreviousKeysText) {
    Start();
    cMainWindow& w = Window();
    cBufferKeepingSettings localFails(std::map<std::string, std::string>{{"tessalyServerAddress", "127.0.0.9"}});
    mApplication->ShowSettingsFrom(&localFails);
    EXPECT_EQ(w.ServerAddressField()->text(), "127.0.0.9");
    EXPECT_EQ(w.LocalAddressField()->text(), "");
    EXPECT_EQ(w.TrackingTypeBox()->currentIndex(), 0);

    cBufferKeepingSettings trackingTypeFails(std::map<std::string, std::string>{
        {"tessalyServerAddress", "127.0.0.9"}, {"tessalyLocalAddress", "HalvexOnly"}});
    mApplication->ShowSettingsFrom(&trackingTypeFails);
    EXPECT_EQ(w.LocalAddressField()->text(), "HalvexOnly");
    EXPECT_EQ(w.TrackingTypeBox()->currentIndex(), 0) << "the local address is no tracking type";
    EXPECT_EQ(w.HeadOverrideBox()->currentText(), "/user/head");
    EXPECT_FALSE(w.HeadEnableBox()->isChecked());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
