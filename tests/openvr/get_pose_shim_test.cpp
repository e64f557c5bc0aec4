// The runtime calls GetPose and ComputeDistortion through raw vtable slots with its own
// compiler's convention. These tests make that call the way an MSVC-built runtime does
// (Windows) or a g++-built one does (Linux), and through the callers' wrappers.
#include <gtest/gtest.h>
#include <openvr_driver.h>

#include <cstring>

#include "vtable_slot.h"

namespace
{

vr::DriverPose_t DistinctPose(double seed)
{
    vr::DriverPose_t pose{};
    pose.poseTimeOffset = seed;
    pose.qWorldFromDriverRotation = {1.0, 0.0, 0.0, 0.0};
    pose.qDriverFromHeadRotation = {0.0, 1.0, 0.0, 0.0};
    pose.vecDriverFromHeadTranslation[2] = -0.1;
    for (int i = 0; i < 3; ++i)
    {
        pose.vecPosition[i] = seed + i;
        pose.vecVelocity[i] = -seed - i;
        pose.vecAngularAcceleration[i] = 100.0 * seed + i;
    }
    pose.qRotation = {0.5, 0.5, -0.5, 0.5};
    pose.result = vr::TrackingResult_Running_OK;
    pose.poseIsValid = true;
    pose.willDriftInYaw = false;
    pose.shouldApplyHeadModel = true;
    pose.deviceIsConnected = true;
    return pose;
}

bool SamePose(const vr::DriverPose_t& a, const vr::DriverPose_t& b)
{
    // The record has no padding, so a byte comparison is exact.
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// Written exactly as device code is on every platform.
class ScriptedDevice : public vr::ITrackedDeviceServerDriver
{
public:
    explicit ScriptedDevice(double seed) : m_pose(DistinctPose(seed)) {}

    vr::EVRInitError Activate(uint32_t) override { return vr::VRInitError_None; }
    void Deactivate() override {}
    void EnterStandby() override {}
    void* GetComponent(const char*) override { return nullptr; }
    void DebugRequest(const char*, char* pchResponseBuffer, uint32_t unResponseBufferSize) override
    {
        if (unResponseBufferSize > 0)
            pchResponseBuffer[0] = '\0';
    }
    vr::DriverPose_t GetPose() override
    {
        ++m_calls;
        return m_pose;
    }

    const vr::DriverPose_t& Expected() const { return m_pose; }
    int Calls() const { return m_calls; }

private:
    vr::DriverPose_t m_pose;
    int m_calls = 0;
};

// The interface sits at a non-zero offset, so slot 5 goes through a this-adjusting thunk.
struct UnrelatedBase
{
    virtual ~UnrelatedBase() = default;
    virtual int Unrelated() { return 7; }
    double payload[3] = {1.0, 2.0, 3.0};
};
class DeviceWithOtherBase : public UnrelatedBase, public ScriptedDevice
{
public:
    explicit DeviceWithOtherBase(double seed) : ScriptedDevice(seed) {}
};

// Slot 5 as the runtime's compiler calls it.
vr::DriverPose_t CallSlot5LikeTheRuntime(vr::ITrackedDeviceServerDriver* driver)
{
#if defined(_WIN32)
    // MSVC: this in RCX, result buffer in RDX, buffer returned in RAX — the same registers as
    // a plain function taking (object, buffer) and returning a pointer.
    using Slot5 = vr::DriverPose_t* (*)(vr::ITrackedDeviceServerDriver*, vr::DriverPose_t*);
    vr::DriverPose_t result;
    std::memset(&result, 0xCD, sizeof(result));
    vr::DriverPose_t* returned = VtableEntry<Slot5>(driver, 5)(driver, &result);
    EXPECT_EQ(returned, &result) << "the result pointer must come back in RAX";
    return result;
#else
    // System V: the hidden result pointer precedes `this` for members and plain functions alike.
    using Slot5 = vr::DriverPose_t (*)(vr::ITrackedDeviceServerDriver*);
    return VtableEntry<Slot5>(driver, 5)(driver);
#endif
}

TEST(GetPoseShim, WrapperReturnsTheDevicesPose)
{
    ScriptedDevice device(3.0);
    vr::ITrackedDeviceServerDriver* driver = &device;
    vr::DriverPose_t pose = vr::GetDriverPose(driver);
    EXPECT_TRUE(SamePose(pose, device.Expected()));
    EXPECT_EQ(device.Calls(), 1);
}

TEST(GetPoseShim, RuntimeStyleSlot5CallReachesTheByValueOverride)
{
    ScriptedDevice device(5.0);
    vr::DriverPose_t pose = CallSlot5LikeTheRuntime(&device);
    EXPECT_TRUE(SamePose(pose, device.Expected()));
    EXPECT_EQ(device.Calls(), 1);
    // Swapped registers would have written the pose over the object instead.
    EXPECT_TRUE(SamePose(device.Expected(), DistinctPose(5.0)));
}

TEST(GetPoseShim, SlotCallWorksWhenTheInterfaceIsNotTheFirstBase)
{
    DeviceWithOtherBase device(11.0);
    vr::ITrackedDeviceServerDriver* driver = &device;
    ASSERT_NE(static_cast<void*>(driver), static_cast<void*>(&device));

    EXPECT_TRUE(SamePose(CallSlot5LikeTheRuntime(driver), DistinctPose(11.0)));
    EXPECT_TRUE(SamePose(vr::GetDriverPose(driver), DistinctPose(11.0)));
    EXPECT_EQ(device.Calls(), 2);
    EXPECT_EQ(device.Unrelated(), 7);
    EXPECT_EQ(device.payload[2], 3.0);
}

TEST(GetPoseShim, EachDeviceAnswersForItself)
{
    ScriptedDevice first(1.0);
    ScriptedDevice second(2.0);
    EXPECT_TRUE(SamePose(CallSlot5LikeTheRuntime(&second), DistinctPose(2.0)));
    EXPECT_TRUE(SamePose(vr::GetDriverPose(&first), DistinctPose(1.0)));
    EXPECT_EQ(first.Calls(), 1);
    EXPECT_EQ(second.Calls(), 1);
}

class ScriptedDisplay : public vr::IVRDisplayComponent
{
public:
    void GetWindowBounds(int32_t*, int32_t*, uint32_t*, uint32_t*) override {}
    bool IsDisplayOnDesktop() override { return false; }
    bool IsDisplayRealDisplay() override { return false; }
    void GetRecommendedRenderTargetSize(uint32_t*, uint32_t*) override {}
    void GetEyeOutputViewport(vr::EVREye, uint32_t*, uint32_t*, uint32_t*, uint32_t*) override {}
    void GetProjectionRaw(vr::EVREye, float*, float*, float*, float*) override {}
    vr::DistortionCoordinates_t ComputeDistortion(vr::EVREye eEye, float fU, float fV) override
    {
        float eye = eEye == vr::Eye_Right ? 1.0f : 0.0f;
        return {{fU, fV}, {fU + eye, fV}, {fU, fV + 2.0f * eye}};
    }
};

TEST(GetPoseShim, DistortionSlotPassesArgumentsLikeTheRuntime)
{
    ScriptedDisplay display;
    vr::IVRDisplayComponent* component = &display;
#if defined(_WIN32)
    // MSVC: this RCX, buffer RDX, eye R8, u XMM3, v on the stack.
    using Slot6 = vr::DistortionCoordinates_t* (*)(vr::IVRDisplayComponent*, vr::DistortionCoordinates_t*,
                                                   vr::EVREye, float, float);
    vr::DistortionCoordinates_t raw{};
    EXPECT_EQ(VtableEntry<Slot6>(component, 6)(component, &raw, vr::Eye_Right, 0.25f, 0.75f), &raw);
#else
    using Slot6 = vr::DistortionCoordinates_t (*)(vr::IVRDisplayComponent*, vr::EVREye, float, float);
    vr::DistortionCoordinates_t raw = VtableEntry<Slot6>(component, 6)(component, vr::Eye_Right, 0.25f, 0.75f);
#endif
    EXPECT_FLOAT_EQ(raw.rfRed[0], 0.25f);
    EXPECT_FLOAT_EQ(raw.rfRed[1], 0.75f);
    EXPECT_FLOAT_EQ(raw.rfGreen[0], 1.25f);
    EXPECT_FLOAT_EQ(raw.rfBlue[1], 2.75f);

    vr::DistortionCoordinates_t wrapped = vr::ComputeDisplayDistortion(component, vr::Eye_Left, 0.5f, 0.125f);
    EXPECT_FLOAT_EQ(wrapped.rfGreen[0], 0.5f);
    EXPECT_FLOAT_EQ(wrapped.rfBlue[1], 0.125f);
}

} // namespace
