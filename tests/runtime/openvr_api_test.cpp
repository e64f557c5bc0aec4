// The client library as a program uses it: every application type with and without a
// running runtime, settings and devices through the runtime, events, and runtimes that
// stop, die or fall silent.
#include "client_test_support.h"

#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"
#include "client_link/loopback_stream.h"
#include "client_link/process_identity.h"
#include "client_link/runtime_registration.h"

#include <gtest/gtest.h>
#include <openvr.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using halvex::test::cInProcessRuntime;
using halvex::test::cPrivateStateFolder;
using halvex::test::ReadText;
using halvex::test::WriteText;
using namespace vrhost::link;

class OpenvrApi : public ::testing::Test {
protected:
    void TearDown() override { vr::VR_Shutdown(); }

    std::filesystem::path DefaultFile() const { return mState.Folder() / "vrhost.vrsettings"; }

    // Polls until an event arrives or two seconds pass.
    static bool NextEvent(vr::IVRSystem* system, vr::VREvent_t& event) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            if (system->PollNextEvent(&event, sizeof(event))) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    cPrivateStateFolder mState;
};

TEST_F(OpenvrApi, WithoutARuntimeOnlyAUtilityGetsIn) {
    vr::EVRInitError error = vr::VRInitError_None;
    EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Background), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_NoServerForBackgroundApp);
    EXPECT_STREQ(vr::VR_GetVRInitErrorAsSymbol(error), "VRInitError_Init_NoServerForBackgroundApp");
    const std::string description = vr::VR_GetVRInitErrorAsEnglishDescription(error);
    EXPECT_NE(description.find("(121)"), std::string::npos) << description;
    EXPECT_NE(description.find("background"), std::string::npos) << description;

    EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Other), nullptr);
    EXPECT_EQ(error, vr::VRInitError_IPC_ConnectFailed);
    EXPECT_EQ(vr::VR_GetGenericInterface(vr::IVRSettings_Version, &error), nullptr);

    vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Utility);
    ASSERT_NE(system, nullptr) << vr::VR_GetVRInitErrorAsEnglishDescription(error);
    EXPECT_EQ(system->GetTrackedDeviceClass(0), vr::TrackedDeviceClass_Invalid);
    vr::VREvent_t event;
    EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event)));
    EXPECT_FALSE(vr::VR_IsHmdPresent());
}

TEST_F(OpenvrApi, UtilityWithoutARuntimeWritesTheSettingsFileAtOnceKeepingWhatItDoesNotKnow) {
    WriteText(DefaultFile(), R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "futureKey": [1, 2]},
                                 "someoneElse": {"flag": true}})");
    vr::EVRInitError error = vr::VRInitError_None;
    ASSERT_NE(vr::VR_Init(&error, vr::VRApplication_Utility), nullptr);
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, &error));
    ASSERT_NE(settings, nullptr);

    vr::EVRSettingsError settingsError = vr::VRSettingsError_IPCFailed;
    EXPECT_EQ(settings->GetInt32("driver_halvex", "tessalyRigidBodyIdHead", &settingsError), 3);
    EXPECT_EQ(settingsError, vr::VRSettingsError_None);
    settings->SetInt32("driver_halvex", "tessalyRigidBodyIdHead", 7, &settingsError);
    EXPECT_EQ(settingsError, vr::VRSettingsError_None);
    settings->SetString("TrackingOverrides", "/devices/halvex/halvex-head", "/user/head", &settingsError);
    settings->RemoveKeyInSection("someoneElse", "missing", &settingsError);

    const std::string text = ReadText(DefaultFile());
    EXPECT_NE(text.find("\"tessalyRigidBodyIdHead\": 7"), std::string::npos) << text;
    EXPECT_NE(text.find("/user/head"), std::string::npos) << text;
    EXPECT_NE(text.find("futureKey"), std::string::npos) << text;
    EXPECT_NE(text.find("\"flag\": true"), std::string::npos) << text;
    for (const auto& entry : std::filesystem::directory_iterator(mState.Folder())) {
        EXPECT_EQ(entry.path().filename(), "vrhost.vrsettings") << "temporary file left behind";
    }

    char small[4];
    settings->GetString("TrackingOverrides", "/devices/halvex/halvex-head", small, sizeof(small), &settingsError);
    EXPECT_EQ(settingsError, vr::VRSettingsError_ReadFailed) << "a value that does not fit is not cut short";
    EXPECT_STREQ(small, "");
}

TEST_F(OpenvrApi, MalformedSettingsFileRefusesTheUtilityAndIsLeftAlone) {
    const std::string broken = "{\"driver_halvex\": {\"tessalyRigidBodyIdHead\": 3,";
    WriteText(DefaultFile(), broken);
    vr::EVRInitError error = vr::VRInitError_None;
    EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Utility), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_SettingsInitFailed);
    EXPECT_EQ(ReadText(DefaultFile()), broken);
}

TEST_F(OpenvrApi, RegistrationOfAProcessThatIsGoneIsIgnored) {
    sRuntimeRegistration stale;
    stale.pid = 0x7FFFFFF0u;
    stale.port = 9;
    std::string reason;
    ASSERT_TRUE(WriteRegistration(stale, reason)) << reason;
    vr::EVRInitError error = vr::VRInitError_None;
    EXPECT_EQ(vr::VR_Init(&error, vr::VRApplication_Background), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_NoServerForBackgroundApp);
}

TEST_F(OpenvrApi, EveryApplicationTypeConnectsToARunningRuntimeAndWritesGoToItsFile) {
    const std::filesystem::path runtimeFile = mState.Root() / "runtime.vrsettings";
    cInProcessRuntime runtime(runtimeFile);
    ASSERT_TRUE(runtime.Start());
    for (const vr::EVRApplicationType type :
         {vr::VRApplication_Background, vr::VRApplication_Other, vr::VRApplication_Utility}) {
        vr::EVRInitError error = vr::VRInitError_Unknown;
        EXPECT_NE(vr::VR_Init(&error, type), nullptr) << "type " << type;
        EXPECT_EQ(error, vr::VRInitError_None);
    }
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, nullptr));
    ASSERT_NE(settings, nullptr);
    vr::EVRSettingsError error = vr::VRSettingsError_IPCFailed;
    settings->SetInt32("driver_halvex", "tessalyRigidBodyIdControllerA", 12, &error);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_EQ(runtime.Int32Setting("driver_halvex", "tessalyRigidBodyIdControllerA"), 12);
    EXPECT_NE(ReadText(runtimeFile).find("\"tessalyRigidBodyIdControllerA\": 12"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(DefaultFile())) << "a utility with a runtime goes through the runtime";

    EXPECT_EQ(settings->GetInt32("driver_halvex", "missing", &error), 0);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    settings->SetString("driver_halvex", "trackingType", "HalvexOnly", &error);
    char value[512];
    settings->GetString("driver_halvex", "trackingType", value, sizeof(value), &error);
    EXPECT_STREQ(value, "HalvexOnly");
    settings->RemoveKeyInSection("driver_halvex", "trackingType", &error);
    settings->GetString("driver_halvex", "trackingType", value, sizeof(value), &error);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
}

TEST_F(OpenvrApi, DevicesAndTheirEventsComeFromTheRuntime) {
    cInProcessRuntime runtime(mState.Root() / "runtime.vrsettings");
    runtime.AddDevice(0, vr::TrackedDeviceClass_HMD, "lighthouse", "lighthouse/LHR-1");
    ASSERT_TRUE(runtime.Start());
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRSystem* system = vr::VR_Init(&error, vr::VRApplication_Other);
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(vr::VR_IsHmdPresent());

    EXPECT_EQ(system->GetTrackedDeviceClass(0), vr::TrackedDeviceClass_HMD);
    EXPECT_EQ(system->GetTrackedDeviceClass(5), vr::TrackedDeviceClass_Invalid);
    char value[256];
    vr::ETrackedPropertyError propError = vr::TrackedProp_Success;
    EXPECT_EQ(system->GetStringTrackedDeviceProperty(0, vr::Prop_TrackingSystemName_String, value, sizeof(value),
                                                     &propError),
              11u);
    EXPECT_EQ(propError, vr::TrackedProp_Success);
    EXPECT_STREQ(value, "lighthouse");
    char tiny[4];
    EXPECT_EQ(system->GetStringTrackedDeviceProperty(0, vr::Prop_TrackingSystemName_String, tiny, sizeof(tiny),
                                                     &propError),
              11u);
    EXPECT_EQ(propError, vr::TrackedProp_BufferTooSmall);
    EXPECT_EQ(system->GetStringTrackedDeviceProperty(5, vr::Prop_TrackingSystemName_String, value, sizeof(value),
                                                     &propError),
              0u);
    EXPECT_EQ(propError, vr::TrackedProp_InvalidDevice);
    EXPECT_EQ(system->GetInt32TrackedDeviceProperty(0, vr::Prop_DeviceClass_Int32, &propError),
              vr::TrackedDeviceClass_HMD);
    system->GetBoolTrackedDeviceProperty(0, vr::Prop_DeviceClass_Int32, &propError);
    EXPECT_EQ(propError, vr::TrackedProp_WrongDataType);

    runtime.AddDevice(3, vr::TrackedDeviceClass_Controller, "lighthouse", "lighthouse/LHR-A");
    vr::VREvent_t event;
    ASSERT_TRUE(NextEvent(system, event));
    EXPECT_EQ(event.eventType, vr::VREvent_TrackedDeviceActivated);
    EXPECT_EQ(event.trackedDeviceIndex, 3u);
    runtime.PressButton(3, vr::k_EButton_Grip);
    ASSERT_TRUE(NextEvent(system, event));
    EXPECT_EQ(event.eventType, vr::VREvent_ButtonPress);
    EXPECT_EQ(event.data.controller.button, static_cast<uint32_t>(vr::k_EButton_Grip));
    runtime.RemoveDevice(3);
    ASSERT_TRUE(NextEvent(system, event));
    EXPECT_EQ(event.eventType, vr::VREvent_TrackedDeviceDeactivated);
    EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event) - 4)) << "a record of another layout is refused";
}

TEST_F(OpenvrApi, ARuntimeThatStopsSaysQuitAndLaterCallsFailAtOnce) {
    cInProcessRuntime runtime(mState.Root() / "runtime.vrsettings");
    ASSERT_TRUE(runtime.Start());
    vr::IVRSystem* system = vr::VR_Init(nullptr, vr::VRApplication_Other);
    ASSERT_NE(system, nullptr);
    std::thread stopper([&] { runtime.Stop(2000); });
    vr::VREvent_t event;
    const bool gotQuit = NextEvent(system, event);
    if (gotQuit) system->AcknowledgeQuit_Exiting();
    stopper.join();
    ASSERT_TRUE(gotQuit);
    EXPECT_EQ(event.eventType, vr::VREvent_Quit);
    EXPECT_FALSE(event.data.process.bConnectionLost);

    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, nullptr));
    const auto before = std::chrono::steady_clock::now();
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    settings->SetBool("driver_halvex", "tessalyUseMulticast", true, &error);
    EXPECT_EQ(error, vr::VRSettingsError_IPCFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(900));
}

// A runtime that answers hello, then behaves as `afterHello` says.
class cScriptedRuntime {
public:
    enum class eAfterHello { Die, FallSilent };

    explicit cScriptedRuntime(eAfterHello afterHello) {
        EXPECT_TRUE(mListener.Listen());
        sRuntimeRegistration registration;
        registration.pid = CurrentProcessId();
        registration.port = mListener.Port();
        std::string reason;
        EXPECT_TRUE(WriteRegistration(registration, reason)) << reason;
        mThread = std::thread([this, afterHello] { Serve(afterHello); });
    }
    ~cScriptedRuntime() {
        mDone = true;
        mThread.join();
    }

private:
    void Serve(eAfterHello afterHello) {
        cLoopbackStream client;
        while (!mDone && !client.IsOpen()) client = mListener.Accept(50);
        cFrameReader reader;
        int requests = 0;
        while (!mDone && client.IsOpen()) {
            char buffer[1024];
            size_t received = 0;
            if (client.Receive(buffer, sizeof(buffer), received, 50) == eIoResult::Closed) return;
            reader.Append(buffer, received);
            std::string body;
            while (reader.Next(body) == cFrameReader::eNext::Frame) {
                sClientRequest request;
                std::string error;
                DecodeRequest(body, request, error);
                if (++requests == 1) {
                    sClientReply reply;
                    reply.id = request.id;
                    const std::string frame = EncodeFrame(EncodeReply(reply));
                    client.SendAll(frame.data(), frame.size(), 500);
                } else if (afterHello == eAfterHello::Die) {
                    client.Close();
                }
            }
        }
    }

    cLoopbackListener mListener;
    std::atomic<bool> mDone{false};
    std::thread mThread;
};

TEST_F(OpenvrApi, ARuntimeThatDiesMidCallIsReportedAsAQuitWithTheConnectionLost) {
    cScriptedRuntime runtime(cScriptedRuntime::eAfterHello::Die);
    vr::IVRSystem* system = vr::VR_Init(nullptr, vr::VRApplication_Other);
    ASSERT_NE(system, nullptr);
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, nullptr));
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    settings->SetInt32("driver_halvex", "tessalyRigidBodyIdHead", 4, &error);
    EXPECT_EQ(error, vr::VRSettingsError_IPCFailed);
    vr::VREvent_t event;
    ASSERT_TRUE(system->PollNextEvent(&event, sizeof(event)));
    EXPECT_EQ(event.eventType, vr::VREvent_Quit);
    EXPECT_TRUE(event.data.process.bConnectionLost);
    EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event))) << "one quit, not one per failed call";
}

TEST_F(OpenvrApi, ASilentRuntimeCostsOneShortWaitNotAHang) {
    cScriptedRuntime runtime(cScriptedRuntime::eAfterHello::FallSilent);
    vr::IVRSystem* system = vr::VR_Init(nullptr, vr::VRApplication_Other);
    ASSERT_NE(system, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(system->GetTrackedDeviceClass(1), vr::TrackedDeviceClass_Invalid);
    const auto firstCall = std::chrono::steady_clock::now() - start;
    EXPECT_LT(firstCall, std::chrono::seconds(5));
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(system->GetTrackedDeviceClass(2), vr::TrackedDeviceClass_Invalid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << "dropped after the first";
    vr::VREvent_t event;
    ASSERT_TRUE(system->PollNextEvent(&event, sizeof(event)));
    EXPECT_EQ(event.eventType, vr::VREvent_Quit);
}

TEST_F(OpenvrApi, InterfaceCacheIsRefreshedAfterANewInit) {
    vr::IVRSystem* first = vr::VR_Init(nullptr, vr::VRApplication_Utility);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(vr::VRSystem(), first);
    const uint32_t token = vr::VR_GetInitToken();
    vr::VR_Shutdown();
    EXPECT_NE(vr::VR_GetInitToken(), token);
    EXPECT_EQ(vr::VRSettings(), nullptr) << "no interface after shutdown";
    vr::IVRSystem* second = vr::VR_Init(nullptr, vr::VRApplication_Utility);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(vr::VRSystem(), second);
    EXPECT_FALSE(vr::VR_IsInterfaceVersionValid("IVRSystem_021"));
    EXPECT_TRUE(vr::VR_IsInterfaceVersionValid("IVRSettings_003"));
}

}  // namespace
