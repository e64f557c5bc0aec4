#include "core/host_interfaces.h"
#include "core/property_access.h"
#include "core/tracking_type.h"
#include "fake_host.h"

#include <gtest/gtest.h>

namespace {

TEST(TrackingType, MatchesOnlyTheExactNames) {
    EXPECT_EQ(halvex::TrackingTypeFromString("Standard"), TrackingType_Standard);
    EXPECT_EQ(halvex::TrackingTypeFromString("HalvexOnly"), TrackingType_HalvexOnly);
    EXPECT_EQ(halvex::TrackingTypeFromString("HMDOnly"), TrackingType_HMDOnly);
    for (const char* other : {"", "hmdonly", "HMDONLY", "HMDOnly ", "HMD", "halvexonly", "Standard2"})
        EXPECT_EQ(halvex::TrackingTypeFromString(other), TrackingType_Standard) << other;
    EXPECT_STREQ(halvex::TrackingTypeToString(TrackingType_HalvexOnly), "HalvexOnly");
}

class PropertyAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        mContext.mInterfaces[vr::IVRProperties_Version] = static_cast<vr::IVRProperties*>(&mProperties);
        halvex::host::InitServerDriverContext(&mContext);
    }
    cFakeContext mContext;
    cFakeProperties mProperties;
};

TEST_F(PropertyAccessTest, ReadsShortAndLongStringsAndRejectsOtherTypes) {
    mProperties.SetString(7, vr::Prop_TrackingSystemName_String, "lighthouse");
    const std::string longSerial(3000, 's');
    mProperties.SetString(7, vr::Prop_SerialNumber_String, longSerial);
    mProperties.SetString(7, vr::Prop_ModelNumber_String, "12345678", vr::k_unUint64PropertyTag);

    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_EQ(halvex::properties::ReadString(7, vr::Prop_TrackingSystemName_String, &error), "lighthouse");
    EXPECT_EQ(error, vr::TrackedProp_Success);

    const int readsBefore = mProperties.mReads;
    EXPECT_EQ(halvex::properties::ReadString(7, vr::Prop_SerialNumber_String, &error), longSerial);
    EXPECT_EQ(error, vr::TrackedProp_Success);
    EXPECT_EQ(mProperties.mReads - readsBefore, 2) << "a too-small buffer is retried once at the asked size";

    EXPECT_EQ(halvex::properties::ReadString(7, vr::Prop_ModelNumber_String, &error), "");
    EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
    EXPECT_EQ(halvex::properties::ReadString(7, vr::Prop_RenderModelName_String, &error), "");
    EXPECT_NE(error, vr::TrackedProp_Success);
}

TEST_F(PropertyAccessTest, WritesStringsWithTerminatorAndUint64AndRefusesNull) {
    EXPECT_EQ(halvex::properties::WriteString(9, vr::Prop_ModelNumber_String, "Halvex1.0"), vr::TrackedProp_Success);
    const cFakeProperties::sValue* model = mProperties.Find(9, vr::Prop_ModelNumber_String);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->tag, vr::k_unStringPropertyTag);
    EXPECT_EQ(model->bytes.size(), 10u);
    EXPECT_EQ(model->bytes.back(), '\0');

    EXPECT_EQ(halvex::properties::WriteUint64(9, vr::Prop_CurrentUniverseId_Uint64, 0x48414C5645584944ULL),
              vr::TrackedProp_Success);
    const cFakeProperties::sValue* universe = mProperties.Find(9, vr::Prop_CurrentUniverseId_Uint64);
    ASSERT_NE(universe, nullptr);
    EXPECT_EQ(universe->tag, vr::k_unUint64PropertyTag);
    ASSERT_EQ(universe->bytes.size(), 8u);
    uint64_t value = 0;
    std::memcpy(&value, universe->bytes.data(), 8);
    EXPECT_EQ(value, 0x48414C5645584944ULL);

    const int writesBefore = mProperties.mWrites;
    EXPECT_EQ(halvex::properties::WriteString(9, vr::Prop_ModelNumber_String, nullptr),
              vr::TrackedProp_InvalidOperation);
    EXPECT_EQ(mProperties.mWrites, writesBefore);
}

TEST_F(PropertyAccessTest, MissingRequiredInterfacesFailTheContextButPropertiesAreOptional) {
    cFakeContext partial;
    cCapturingLog log;
    partial.mInterfaces[vr::IVRDriverLog_Version] = static_cast<vr::IVRDriverLog*>(&log);
    EXPECT_EQ(halvex::host::InitServerDriverContext(&partial), vr::VRInitError_Init_InterfaceNotFound);
    EXPECT_EQ(halvex::host::Properties(), nullptr);
    EXPECT_EQ(halvex::properties::WriteString(1, vr::Prop_ModelNumber_String, "x"), vr::TrackedProp_InvalidOperation);
}

}  // namespace
