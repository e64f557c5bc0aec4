// Slot numbers of every interface function: the runtime calls by slot, not by name.
#include <gtest/gtest.h>
#include <openvr_driver.h>

#include "vtable_slot.h"

#if defined(HALVEX_ITANIUM_MEMBER_POINTERS)

namespace
{

// Reaches the by-value GetPose / ComputeDistortion, which are protected under MinGW.
struct DeviceSlots : vr::ITrackedDeviceServerDriver
{
    static std::ptrdiff_t ByValueGetPose() { return VtableSlotOf(&DeviceSlots::GetPose); }
};
struct DisplaySlots : vr::IVRDisplayComponent
{
    static std::ptrdiff_t ByValueComputeDistortion() { return VtableSlotOf(&DisplaySlots::ComputeDistortion); }
};

TEST(InterfaceVtable, TrackedDeviceServerDriverSlotsMatchTheRuntime)
{
    using I = vr::ITrackedDeviceServerDriver;
    EXPECT_EQ(VtableSlotOf(&I::Activate), 0);
    EXPECT_EQ(VtableSlotOf(&I::Deactivate), 1);
    EXPECT_EQ(VtableSlotOf(&I::EnterStandby), 2);
    EXPECT_EQ(VtableSlotOf(&I::GetComponent), 3);
    EXPECT_EQ(VtableSlotOf(&I::DebugRequest), 4);
#if defined(__MINGW32__)
    EXPECT_EQ(VtableSlotOf(&I::GetPoseInto), 5);
    EXPECT_EQ(DeviceSlots::ByValueGetPose(), 6) << "the by-value form must come after every official slot";
#else
    EXPECT_EQ(DeviceSlots::ByValueGetPose(), 5);
#endif
}

TEST(InterfaceVtable, DisplayComponentDistortionSlot)
{
    using I = vr::IVRDisplayComponent;
    EXPECT_EQ(VtableSlotOf(&I::GetWindowBounds), 0);
    EXPECT_EQ(VtableSlotOf(&I::IsDisplayOnDesktop), 1);
    EXPECT_EQ(VtableSlotOf(&I::IsDisplayRealDisplay), 2);
    EXPECT_EQ(VtableSlotOf(&I::GetRecommendedRenderTargetSize), 3);
    EXPECT_EQ(VtableSlotOf(&I::GetEyeOutputViewport), 4);
    EXPECT_EQ(VtableSlotOf(&I::GetProjectionRaw), 5);
#if defined(__MINGW32__)
    EXPECT_EQ(VtableSlotOf(&I::ComputeDistortionInto), 6);
    EXPECT_EQ(DisplaySlots::ByValueComputeDistortion(), 7);
#else
    EXPECT_EQ(DisplaySlots::ByValueComputeDistortion(), 6);
#endif
}

TEST(InterfaceVtable, ProviderAndContextSlots)
{
    using P = vr::IServerTrackedDeviceProvider;
    EXPECT_EQ(VtableSlotOf(&P::Init), 0);
    EXPECT_EQ(VtableSlotOf(&P::Cleanup), 1);
    EXPECT_EQ(VtableSlotOf(&P::GetInterfaceVersions), 2);
    EXPECT_EQ(VtableSlotOf(&P::RunFrame), 3);
    EXPECT_EQ(VtableSlotOf(&P::ShouldBlockStandbyMode), 4);
    EXPECT_EQ(VtableSlotOf(&P::EnterStandby), 5);
    EXPECT_EQ(VtableSlotOf(&P::LeaveStandby), 6);

    EXPECT_EQ(VtableSlotOf(&vr::IVRDriverContext::GetGenericInterface), 0);
    EXPECT_EQ(VtableSlotOf(&vr::IVRDriverContext::GetDriverHandle), 1);

    EXPECT_EQ(VtableSlotOf(&vr::IVRWatchdogProvider::Init), 0);
    EXPECT_EQ(VtableSlotOf(&vr::IVRWatchdogProvider::Cleanup), 1);
    EXPECT_EQ(VtableSlotOf(&vr::IVRWatchdogHost::WatchdogWakeUp), 0);

    using C = vr::IVRCompositorPluginProvider;
    EXPECT_EQ(VtableSlotOf(&C::Init), 0);
    EXPECT_EQ(VtableSlotOf(&C::Cleanup), 1);
    EXPECT_EQ(VtableSlotOf(&C::GetInterfaceVersions), 2);
    EXPECT_EQ(VtableSlotOf(&C::GetComponent), 3);
}

TEST(InterfaceVtable, ServerDriverHostSlots)
{
    using H = vr::IVRServerDriverHost;
    EXPECT_EQ(VtableSlotOf(&H::TrackedDeviceAdded), 0);
    EXPECT_EQ(VtableSlotOf(&H::TrackedDevicePoseUpdated), 1);
    EXPECT_EQ(VtableSlotOf(&H::VsyncEvent), 2);
    EXPECT_EQ(VtableSlotOf(&H::VendorSpecificEvent), 3);
    EXPECT_EQ(VtableSlotOf(&H::IsExiting), 4);
    EXPECT_EQ(VtableSlotOf(&H::PollNextEvent), 5);
    EXPECT_EQ(VtableSlotOf(&H::GetRawTrackedDevicePoses), 6);
    EXPECT_EQ(VtableSlotOf(&H::RequestRestart), 7);
    EXPECT_EQ(VtableSlotOf(&H::GetFrameTimings), 8);
    EXPECT_EQ(VtableSlotOf(&H::SetDisplayEyeToHead), 9);
    EXPECT_EQ(VtableSlotOf(&H::SetDisplayProjectionRaw), 10);
    EXPECT_EQ(VtableSlotOf(&H::SetRecommendedRenderTargetSize), 11);
}

TEST(InterfaceVtable, SettingsSlots)
{
    using S = vr::IVRSettings;
    EXPECT_EQ(VtableSlotOf(&S::GetSettingsErrorNameFromEnum), 0);
    EXPECT_EQ(VtableSlotOf(&S::SetBool), 1);
    EXPECT_EQ(VtableSlotOf(&S::SetInt32), 2);
    EXPECT_EQ(VtableSlotOf(&S::SetFloat), 3);
    EXPECT_EQ(VtableSlotOf(&S::SetString), 4);
    EXPECT_EQ(VtableSlotOf(&S::GetBool), 5);
    EXPECT_EQ(VtableSlotOf(&S::GetInt32), 6);
    EXPECT_EQ(VtableSlotOf(&S::GetFloat), 7);
    EXPECT_EQ(VtableSlotOf(&S::GetString), 8);
    EXPECT_EQ(VtableSlotOf(&S::RemoveSection), 9);
    EXPECT_EQ(VtableSlotOf(&S::RemoveKeyInSection), 10);
}

TEST(InterfaceVtable, PropertiesLogIOBufferManagerResourcesSlots)
{
    EXPECT_EQ(VtableSlotOf(&vr::IVRProperties::ReadPropertyBatch), 0);
    EXPECT_EQ(VtableSlotOf(&vr::IVRProperties::WritePropertyBatch), 1);
    EXPECT_EQ(VtableSlotOf(&vr::IVRProperties::GetPropErrorNameFromEnum), 2);
    EXPECT_EQ(VtableSlotOf(&vr::IVRProperties::TrackedDeviceToPropertyContainer), 3);

    EXPECT_EQ(VtableSlotOf(&vr::IVRDriverLog::Log), 0);

    using B = vr::IVRIOBuffer;
    EXPECT_EQ(VtableSlotOf(&B::Open), 0);
    EXPECT_EQ(VtableSlotOf(&B::Close), 1);
    EXPECT_EQ(VtableSlotOf(&B::Read), 2);
    EXPECT_EQ(VtableSlotOf(&B::Write), 3);
    EXPECT_EQ(VtableSlotOf(&B::PropertyContainer), 4);
    EXPECT_EQ(VtableSlotOf(&B::HasReaders), 5);

    using M = vr::IVRDriverManager;
    EXPECT_EQ(VtableSlotOf(&M::GetDriverCount), 0);
    EXPECT_EQ(VtableSlotOf(&M::GetDriverName), 1);
    EXPECT_EQ(VtableSlotOf(&M::GetDriverHandle), 2);
    EXPECT_EQ(VtableSlotOf(&M::IsEnabled), 3);

    EXPECT_EQ(VtableSlotOf(&vr::IVRResources::LoadSharedResource), 0);
    EXPECT_EQ(VtableSlotOf(&vr::IVRResources::GetResourceFullPath), 1);
}

TEST(InterfaceVtable, VirtualDisplayAndDriverInputSlots)
{
    EXPECT_EQ(VtableSlotOf(&vr::IVRVirtualDisplay::Present), 0);
    EXPECT_EQ(VtableSlotOf(&vr::IVRVirtualDisplay::WaitForPresent), 1);
    EXPECT_EQ(VtableSlotOf(&vr::IVRVirtualDisplay::GetTimeSinceLastVsync), 2);

    using D = vr::IVRDriverInput;
    EXPECT_EQ(VtableSlotOf(&D::CreateBooleanComponent), 0);
    EXPECT_EQ(VtableSlotOf(&D::UpdateBooleanComponent), 1);
    EXPECT_EQ(VtableSlotOf(&D::CreateScalarComponent), 2);
    EXPECT_EQ(VtableSlotOf(&D::UpdateScalarComponent), 3);
    EXPECT_EQ(VtableSlotOf(&D::CreateHapticComponent), 4);
    EXPECT_EQ(VtableSlotOf(&D::CreateSkeletonComponent), 5);
    EXPECT_EQ(VtableSlotOf(&D::UpdateSkeletonComponent), 6);
}

} // namespace

#else

TEST(InterfaceVtable, RequiresItaniumMemberPointers)
{
    GTEST_SKIP() << "slot numbers are read from Itanium-ABI member pointers";
}

#endif
