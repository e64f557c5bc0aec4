#include "vrhost/interfaces/property_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using vrhost::cPropertyStore;

class PropertyStoreTest : public ::testing::Test {
protected:
    cPropertyStore store;
    vr::CVRPropertyHelpers helpers{&store};
    vr::PropertyContainerHandle_t device = store.AttachDevice(1);
};

TEST_F(PropertyStoreTest, StringReadFollowsTheBufferTooSmallProtocol) {
    ASSERT_EQ(helpers.SetStringProperty(device, vr::Prop_TrackingSystemName_String, "lighthouse"),
              vr::TrackedProp_Success);
    vr::PropertyRead_t read{};
    char small[4] = {'x', 'x', 'x', 'x'};
    read.prop = vr::Prop_TrackingSystemName_String;
    read.pvBuffer = small;
    read.unBufferSize = sizeof(small);
    store.ReadPropertyBatch(device, &read, 1);
    EXPECT_EQ(read.eError, vr::TrackedProp_BufferTooSmall);
    EXPECT_EQ(read.unRequiredBufferSize, 11u);
    EXPECT_EQ(read.unTag, vr::k_unStringPropertyTag);
    EXPECT_EQ(std::string(small, 4), "xxxx");  // nothing partial written

    char exact[11];
    read.pvBuffer = exact;
    read.unBufferSize = sizeof(exact);
    EXPECT_EQ(store.ReadPropertyBatch(device, &read, 1), vr::TrackedProp_Success);
    EXPECT_STREQ(exact, "lighthouse");

    // The header's helper takes the long way for a value beyond its 1024-byte buffer.
    const std::string longValue(3000, 'q');
    helpers.SetStringProperty(device, vr::Prop_ModelNumber_String, longValue.c_str());
    vr::ETrackedPropertyError error = vr::TrackedProp_IPCReadFailure;
    EXPECT_EQ(helpers.GetStringProperty(device, vr::Prop_ModelNumber_String, &error), longValue);
    EXPECT_EQ(error, vr::TrackedProp_Success);
}

TEST_F(PropertyStoreTest, TypeTagsTravelWithTheBytes) {
    helpers.SetUint64Property(device, vr::Prop_CurrentUniverseId_Uint64, 0x48414C5645584944ull);
    helpers.SetBoolProperty(device, vr::Prop_WillDriftInYaw_Bool, true);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_EQ(helpers.GetUint64Property(device, vr::Prop_CurrentUniverseId_Uint64, &error), 0x48414C5645584944ull);
    EXPECT_EQ(error, vr::TrackedProp_Success);
    EXPECT_TRUE(helpers.GetBoolProperty(device, vr::Prop_WillDriftInYaw_Bool, &error));
    // Read as another type: the tag tells the reader.
    EXPECT_EQ(helpers.GetStringProperty(device, vr::Prop_CurrentUniverseId_Uint64, &error), "");
    EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
    EXPECT_EQ(helpers.GetInt32Property(device, vr::Prop_WillDriftInYaw_Bool, &error), 0);
    EXPECT_NE(error, vr::TrackedProp_Success);

    const auto snapshot = store.Snapshot(device);
    ASSERT_EQ(snapshot.size(), 2u);
    EXPECT_EQ(snapshot[0].prop, vr::Prop_WillDriftInYaw_Bool);  // ordered by id
    EXPECT_EQ(vrhost::FormatPropertyValue(snapshot[0]), "true");
    EXPECT_EQ(vrhost::FormatPropertyValue(snapshot[1]), "0x48414C5645584944");
    EXPECT_EQ(snapshot[1].driverWrites, 1u);
}

TEST_F(PropertyStoreTest, MissingErasedAndErrorValues) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_EQ(helpers.GetStringProperty(device, vr::Prop_SerialNumber_String, &error), "");
    EXPECT_EQ(error, vr::TrackedProp_UnknownProperty);

    helpers.SetStringProperty(device, vr::Prop_SerialNumber_String, "abc");
    EXPECT_EQ(helpers.EraseProperty(device, vr::Prop_SerialNumber_String), vr::TrackedProp_Success);
    helpers.GetStringProperty(device, vr::Prop_SerialNumber_String, &error);
    EXPECT_EQ(error, vr::TrackedProp_UnknownProperty);

    helpers.SetPropertyError(device, vr::Prop_SerialNumber_String, vr::TrackedProp_NotYetAvailable);
    helpers.GetStringProperty(device, vr::Prop_SerialNumber_String, &error);
    EXPECT_EQ(error, vr::TrackedProp_NotYetAvailable);
}

TEST_F(PropertyStoreTest, ContainersAreSeparateAndHandlesChecked) {
    const vr::PropertyContainerHandle_t other = store.AttachDevice(2);
    EXPECT_NE(other, device);
    EXPECT_EQ(store.AttachDevice(1), device);
    EXPECT_EQ(store.TrackedDeviceToPropertyContainer(1), device);
    EXPECT_EQ(store.TrackedDeviceToPropertyContainer(7), vr::k_ulInvalidPropertyContainer);

    helpers.SetStringProperty(device, vr::Prop_SerialNumber_String, "one");
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    helpers.GetStringProperty(other, vr::Prop_SerialNumber_String, &error);
    EXPECT_EQ(error, vr::TrackedProp_UnknownProperty);

    // A device index used as a handle is no container.
    EXPECT_EQ(helpers.SetStringProperty(1, vr::Prop_SerialNumber_String, "x"), vr::TrackedProp_InvalidContainer);
    vr::PropertyRead_t reads[2]{};
    reads[0].prop = vr::Prop_SerialNumber_String;
    reads[1].prop = vr::Prop_ModelNumber_String;
    EXPECT_EQ(store.ReadPropertyBatch(vr::k_ulInvalidPropertyContainer, reads, 2), vr::TrackedProp_InvalidContainer);
    EXPECT_EQ(reads[1].eError, vr::TrackedProp_InvalidContainer);
}

TEST_F(PropertyStoreTest, MalformedWritesAreRefused) {
    vr::PropertyWrite_t writes[3]{};
    writes[0].prop = vr::Prop_ModelNumber_String;
    writes[0].writeType = vr::PropertyWrite_Set;
    writes[0].pvBuffer = nullptr;
    writes[0].unBufferSize = 4;
    writes[0].unTag = vr::k_unStringPropertyTag;
    const std::string tooLong(vr::k_unMaxPropertyStringSize + 10, 'z');
    writes[1].prop = vr::Prop_RenderModelName_String;
    writes[1].writeType = vr::PropertyWrite_Set;
    writes[1].pvBuffer = const_cast<char*>(tooLong.c_str());
    writes[1].unBufferSize = static_cast<uint32_t>(tooLong.size() + 1);
    writes[1].unTag = vr::k_unStringPropertyTag;
    writes[2].prop = vr::Prop_SerialNumber_String;
    const int32_t unknownWriteType = 9;  // as a driver from elsewhere might send
    std::memcpy(&writes[2].writeType, &unknownWriteType, sizeof(unknownWriteType));
    EXPECT_EQ(store.WritePropertyBatch(device, writes, 3), vr::TrackedProp_InvalidOperation);
    EXPECT_EQ(writes[0].eError, vr::TrackedProp_InvalidOperation);
    EXPECT_EQ(writes[1].eError, vr::TrackedProp_StringExceedsMaximumLength);
    EXPECT_EQ(writes[2].eError, vr::TrackedProp_InvalidOperation);
    EXPECT_TRUE(store.Snapshot(device).empty());
    EXPECT_EQ(store.WritePropertyBatch(device, nullptr, 1), vr::TrackedProp_InvalidOperation);
}

TEST(PropertyFormatTest, ValuesPrintReadably) {
    vrhost::sPropertyRecord record;
    record.tag = vr::k_unStringPropertyTag;
    const std::string text = "a \"b\"\n";
    record.bytes.assign(text.begin(), text.end());
    record.bytes.push_back(0);
    EXPECT_EQ(vrhost::FormatPropertyValue(record), "\"a \\\"b\\\"\\n\"");
    record.bytes.assign(text.begin(), text.begin() + 3);  // no terminator: still bounded
    EXPECT_EQ(vrhost::FormatPropertyValue(record), "\"a \\\"\"");

    vr::HmdMatrix34_t m{};
    m.m[0][0] = 1.0f;
    m.m[1][3] = 0.25f;
    record.tag = vr::k_unHmdMatrix34PropertyTag;
    record.bytes.resize(sizeof(m));
    std::memcpy(record.bytes.data(), &m, sizeof(m));
    EXPECT_EQ(vrhost::FormatPropertyValue(record), "1,0,0,0,0,0,0,0.25,0,0,0,0");

    record.tag = vr::k_unInt32PropertyTag;  // wrong size for the tag: raw bytes
    record.bytes = {1, 2};
    EXPECT_EQ(vrhost::FormatPropertyValue(record), "0x0102");
    EXPECT_EQ(vrhost::PropertyName(vr::Prop_CurrentUniverseId_Uint64), "Prop_CurrentUniverseId_Uint64");
    EXPECT_EQ(vrhost::PropertyName(static_cast<vr::ETrackedDeviceProperty>(999999)), "Prop_999999");
}

}  // namespace
