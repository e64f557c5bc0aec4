// Records read from byte images laid out as the runtime lays them out on this platform.
// Sizes and offsets are also static_asserted by the header itself.
#include <gtest/gtest.h>
#include <openvr_driver.h>

#include <cstring>

namespace
{

#if defined(__linux__) || defined(__APPLE__)
constexpr std::size_t kEventSize = 60;
constexpr std::size_t kEventDataOffset = 12;
#else
constexpr std::size_t kEventSize = 64;
constexpr std::size_t kEventDataOffset = 16;
#endif

template <typename T>
void Put(unsigned char* image, std::size_t offset, T value)
{
    std::memcpy(image + offset, &value, sizeof(value));
}

TEST(RecordLayout, EventFromARuntimeByteImage)
{
    ASSERT_EQ(sizeof(vr::VREvent_t), kEventSize) << "the size PollNextEvent is given";
    unsigned char image[kEventSize] = {};
    Put<uint32_t>(image, 0, vr::VREvent_PropertyChanged);
    Put<uint32_t>(image, 4, 3);
    Put<float>(image, 8, 0.25f);
    Put<uint64_t>(image, kEventDataOffset, 0x600000003ull);
    Put<uint32_t>(image, kEventDataOffset + 8, vr::Prop_SerialNumber_String);

    vr::VREvent_t event;
    std::memcpy(&event, image, sizeof(event));
    EXPECT_EQ(event.eventType, static_cast<uint32_t>(vr::VREvent_PropertyChanged));
    EXPECT_EQ(event.trackedDeviceIndex, 3u);
    EXPECT_FLOAT_EQ(event.eventAgeSeconds, 0.25f);
    // Copied out first: on Linux the 8-byte members sit at 4-byte offsets, and binding a
    // reference to them (as EXPECT_EQ would) is undefined.
    const vr::PropertyContainerHandle_t container = event.data.property.container;
    const vr::ETrackedDeviceProperty prop = event.data.property.prop;
    EXPECT_EQ(container, vr::k_ulDisplayRedirectContainer);
    EXPECT_EQ(prop, vr::Prop_SerialNumber_String);
}

TEST(RecordLayout, PoseBytesTheRuntimeReads)
{
    vr::DriverPose_t pose{};
    pose.qRotation.w = 1.0;
    pose.vecPosition[2] = -2.5;
    pose.result = vr::TrackingResult_Running_OK;
    pose.poseIsValid = true;
    pose.deviceIsConnected = true;

    unsigned char image[280];
    ASSERT_EQ(sizeof(pose), sizeof(image));
    std::memcpy(image, &pose, sizeof(image));
    double w = 0.0, z = 0.0;
    int32_t result = 0;
    std::memcpy(&w, image + 192, sizeof(w));
    std::memcpy(&z, image + 120 + 16, sizeof(z));
    std::memcpy(&result, image + 272, sizeof(result));
    EXPECT_EQ(w, 1.0);
    EXPECT_EQ(z, -2.5);
    EXPECT_EQ(result, 200);
    EXPECT_EQ(image[276], 1);
    EXPECT_EQ(image[277], 0);
    EXPECT_EQ(image[279], 1);
}

TEST(RecordLayout, ImuSamplesPackBackToBackInAStream)
{
    vr::ImuSample_t samples[2] = {};
    samples[1].fSampleTime = 4.5;
    samples[1].vGyro.v[2] = 0.125;
    samples[1].unOffScaleFlags = vr::OffScale_AccelX | vr::OffScale_GyroZ;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(samples);
    double time = 0.0, gyroZ = 0.0;
    uint32_t flags = 0;
    std::memcpy(&time, bytes + 64, sizeof(time));
    std::memcpy(&gyroZ, bytes + 64 + 32 + 16, sizeof(gyroZ));
    std::memcpy(&flags, bytes + 64 + 56, sizeof(flags));
    EXPECT_EQ(time, 4.5);
    EXPECT_EQ(gyroZ, 0.125);
    EXPECT_EQ(flags, 0x21u);
}

} // namespace
