// The client header on its own: a utility calls IVRSystem by slot, so every slot before
// the ones it uses must be where the runtime's library puts it.
#include <gtest/gtest.h>
#include <openvr.h>

#include "vtable_slot.h"

#include <cstddef>

namespace
{

TEST(ClientDeclarations, VersionStringsAndEventLayout)
{
    EXPECT_STREQ(vr::IVRSystem_Version, "IVRSystem_022");
    EXPECT_STREQ(vr::IVRSettings_Version, "IVRSettings_003");
#if defined(__linux__)
    EXPECT_EQ(sizeof(vr::VREvent_t), 60u);
    EXPECT_EQ(offsetof(vr::VREvent_t, data), 12u);
#else
    EXPECT_EQ(sizeof(vr::VREvent_t), 64u);
    EXPECT_EQ(offsetof(vr::VREvent_t, data), 16u);
#endif
}

#if defined(HALVEX_ITANIUM_MEMBER_POINTERS)

TEST(ClientDeclarations, SystemSlotsMatchTheRuntime)
{
    using S = vr::IVRSystem;
    EXPECT_EQ(VtableSlotOf(&S::GetRecommendedRenderTargetSize), 0);
    EXPECT_EQ(VtableSlotOf(&S::GetProjectionMatrix), 1);
    EXPECT_EQ(VtableSlotOf(&S::GetEyeToHeadTransform), 4);
    EXPECT_EQ(VtableSlotOf(&S::GetOutputDevice), 8);
    EXPECT_EQ(VtableSlotOf(&S::GetSeatedZeroPoseToStandingAbsoluteTrackingPose), 12);
    EXPECT_EQ(VtableSlotOf(&S::GetRawZeroPoseToStandingAbsoluteTrackingPose), 13);
    EXPECT_EQ(VtableSlotOf(&S::GetSortedTrackedDeviceIndicesOfClass), 14);
    EXPECT_EQ(VtableSlotOf(&S::GetControllerRoleForTrackedDeviceIndex), 18);
    EXPECT_EQ(VtableSlotOf(&S::GetTrackedDeviceClass), 19);
    EXPECT_EQ(VtableSlotOf(&S::GetMatrix34TrackedDeviceProperty), 25);
    EXPECT_EQ(VtableSlotOf(&S::GetStringTrackedDeviceProperty), 27);
    EXPECT_EQ(VtableSlotOf(&S::PollNextEvent), 29);
    EXPECT_EQ(VtableSlotOf(&S::GetHiddenAreaMesh), 32);
    EXPECT_EQ(VtableSlotOf(&S::TriggerHapticPulse), 35);
    EXPECT_EQ(VtableSlotOf(&S::PerformFirmwareUpdate), 42);
    EXPECT_EQ(VtableSlotOf(&S::AcknowledgeQuit_Exiting), 43);
    EXPECT_EQ(VtableSlotOf(&S::GetRuntimeVersion), 45) << "46 slots in all";
}

TEST(ClientDeclarations, SettingsSlotsMatchTheDriverSide)
{
    using S = vr::IVRSettings;
    EXPECT_EQ(VtableSlotOf(&S::SetBool), 1);
    EXPECT_EQ(VtableSlotOf(&S::SetInt32), 2);
    EXPECT_EQ(VtableSlotOf(&S::SetString), 4);
    EXPECT_EQ(VtableSlotOf(&S::GetBool), 5);
    EXPECT_EQ(VtableSlotOf(&S::GetInt32), 6);
    EXPECT_EQ(VtableSlotOf(&S::GetString), 8);
    EXPECT_EQ(VtableSlotOf(&S::RemoveKeyInSection), 10);
}

#endif

} // namespace
