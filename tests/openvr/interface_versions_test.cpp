// The version strings are how the runtime matches interfaces; one typo and a driver is
// refused or handed the wrong vtable.
#include <gtest/gtest.h>
#include <openvr_driver.h>

#include <string>
#include <vector>

namespace
{

TEST(InterfaceVersions, DriverReportsTheElevenVersionsInOrder)
{
    const std::vector<std::string> expected = {
        "IVRSettings_003",
        "ITrackedDeviceServerDriver_005",
        "IVRDisplayComponent_002",
        "IVRDriverDirectModeComponent_008",
        "IVRCameraComponent_003",
        "IServerTrackedDeviceProvider_004",
        "IVRWatchdogProvider_001",
        "IVRVirtualDisplay_002",
        "IVRDriverManager_001",
        "IVRResources_001",
        "IVRCompositorPluginProvider_001",
    };
    std::vector<std::string> listed;
    const char* const* versions = vr::k_InterfaceVersions;
    for (; *versions != nullptr && listed.size() <= expected.size(); ++versions)
        listed.emplace_back(*versions);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(sizeof(vr::k_InterfaceVersions) / sizeof(vr::k_InterfaceVersions[0]), 12u) << "11 names and a null";
}

TEST(InterfaceVersions, HostInterfaceVersions)
{
    EXPECT_STREQ(vr::IVRServerDriverHost_Version, "IVRServerDriverHost_006");
    EXPECT_STREQ(vr::IVRSettings_Version, "IVRSettings_003");
    EXPECT_STREQ(vr::IVRProperties_Version, "IVRProperties_001");
    EXPECT_STREQ(vr::IVRDriverLog_Version, "IVRDriverLog_001");
    EXPECT_STREQ(vr::IVRIOBuffer_Version, "IVRIOBuffer_002");
    EXPECT_STREQ(vr::IVRDriverManager_Version, "IVRDriverManager_001");
    EXPECT_STREQ(vr::IVRResources_Version, "IVRResources_001");
    EXPECT_STREQ(vr::IVRDriverInput_Version, "IVRDriverInput_003");
    EXPECT_STREQ(vr::IVRWatchdogHost_Version, "IVRWatchdogHost_002");
    EXPECT_STREQ(vr::IVRCompositorDriverHost_Version, "IVRCompositorDriverHost_001");
    EXPECT_STREQ(vr::IVRDriverSpatialAnchors_Version, "IVRDriverSpatialAnchors_001");
}

TEST(InterfaceVersions, DriverInterfaceVersions)
{
    EXPECT_STREQ(vr::IServerTrackedDeviceProvider_Version, "IServerTrackedDeviceProvider_004");
    EXPECT_STREQ(vr::ITrackedDeviceServerDriver_Version, "ITrackedDeviceServerDriver_005");
    EXPECT_STREQ(vr::IVRWatchdogProvider_Version, "IVRWatchdogProvider_001");
    EXPECT_STREQ(vr::IVRCompositorPluginProvider_Version, "IVRCompositorPluginProvider_001");
    EXPECT_STREQ(vr::IVRDisplayComponent_Version, "IVRDisplayComponent_002");
    EXPECT_STREQ(vr::IVRDriverDirectModeComponent_Version, "IVRDriverDirectModeComponent_008");
    EXPECT_STREQ(vr::IVRCameraComponent_Version, "IVRCameraComponent_003");
    EXPECT_STREQ(vr::IVRVirtualDisplay_Version, "IVRVirtualDisplay_002");
}

} // namespace
