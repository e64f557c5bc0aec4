// The inline helper layer the driver compiles in: property batches and the driver context.
#include <gtest/gtest.h>
#include <openvr_driver.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{

// An in-memory property container store that answers batches as a runtime does.
class PropertyStore : public vr::IVRProperties
{
public:
    struct Value
    {
        vr::PropertyTypeTag_t tag = vr::k_unInvalidPropertyTag;
        std::vector<unsigned char> bytes;
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    };

    vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t, vr::PropertyRead_t* pBatch,
                                                uint32_t unBatchEntryCount) override
    {
        for (uint32_t i = 0; i < unBatchEntryCount; ++i)
        {
            vr::PropertyRead_t& entry = pBatch[i];
            auto found = values.find(entry.prop);
            if (found == values.end())
            {
                entry.eError = vr::TrackedProp_UnknownProperty;
                entry.unRequiredBufferSize = 0;
                continue;
            }
            const Value& value = found->second;
            entry.unTag = value.tag;
            entry.unRequiredBufferSize = static_cast<uint32_t>(value.bytes.size());
            if (value.error != vr::TrackedProp_Success)
                entry.eError = value.error;
            else if (value.bytes.size() > entry.unBufferSize)
                entry.eError = vr::TrackedProp_BufferTooSmall;
            else
            {
                if (!value.bytes.empty())
                    std::memcpy(entry.pvBuffer, value.bytes.data(), value.bytes.size());
                entry.eError = vr::TrackedProp_Success;
            }
        }
        return vr::TrackedProp_Success;
    }

    vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t, vr::PropertyWrite_t* pBatch,
                                                 uint32_t unBatchEntryCount) override
    {
        for (uint32_t i = 0; i < unBatchEntryCount; ++i)
        {
            vr::PropertyWrite_t& entry = pBatch[i];
            ++writes;
            if (entry.writeType == vr::PropertyWrite_Erase)
                values.erase(entry.prop);
            else if (entry.writeType == vr::PropertyWrite_SetError)
                values[entry.prop] = Value{vr::k_unErrorPropertyTag, {}, entry.eSetError};
            else
            {
                const unsigned char* data = static_cast<const unsigned char*>(entry.pvBuffer);
                values[entry.prop] = Value{entry.unTag, std::vector<unsigned char>(data, data + entry.unBufferSize),
                                           vr::TrackedProp_Success};
            }
            entry.eError = vr::TrackedProp_Success;
        }
        return vr::TrackedProp_Success;
    }

    const char* GetPropErrorNameFromEnum(vr::ETrackedPropertyError) override { return "error"; }
    vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t nDevice) override
    {
        return 0x100 + nDevice;
    }

    std::map<vr::ETrackedDeviceProperty, Value> values;
    int writes = 0;
};

constexpr vr::PropertyContainerHandle_t kContainer = 0x105;

TEST(PropertyHelpers, StringsRoundTripWithTheirTerminator)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    EXPECT_EQ(helpers.SetStringProperty(kContainer, vr::Prop_SerialNumber_String, "HX-0042"), vr::TrackedProp_Success);
    EXPECT_EQ(store.values[vr::Prop_SerialNumber_String].bytes.size(), 8u);
    EXPECT_EQ(store.values[vr::Prop_SerialNumber_String].tag, vr::k_unStringPropertyTag);

    vr::ETrackedPropertyError error = vr::TrackedProp_InvalidOperation;
    EXPECT_EQ(helpers.GetStringProperty(kContainer, vr::Prop_SerialNumber_String, &error), "HX-0042");
    EXPECT_EQ(error, vr::TrackedProp_Success);

    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(helpers.GetStringProperty(kContainer, vr::Prop_SerialNumber_String, small, sizeof(small), &error), 8u);
    EXPECT_EQ(error, vr::TrackedProp_BufferTooSmall);
    EXPECT_EQ(small[0], '\0');

    EXPECT_EQ(helpers.SetStringProperty(kContainer, vr::Prop_ModelNumber_String, nullptr),
              vr::TrackedProp_InvalidOperation);
    EXPECT_EQ(store.writes, 1);
}

TEST(PropertyHelpers, LongStringIsReadAgainWithTheReportedSize)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    const std::string path(3000, 'p');
    helpers.SetStringProperty(kContainer, vr::Prop_InputProfilePath_String, path.c_str());
    vr::ETrackedPropertyError error = vr::TrackedProp_InvalidOperation;
    EXPECT_EQ(helpers.GetStringProperty(kContainer, vr::Prop_InputProfilePath_String, &error), path);
    EXPECT_EQ(error, vr::TrackedProp_Success);
}

TEST(PropertyHelpers, ScalarsAndVectorsKeepTypeAndValue)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    helpers.SetUint64Property(kContainer, vr::Prop_CurrentUniverseId_Uint64, 0x1234567890ull);
    helpers.SetBoolProperty(kContainer, vr::Prop_NeverTracked_Bool, true);
    helpers.SetInt32Property(kContainer, vr::Prop_DeviceClass_Int32, vr::TrackedDeviceClass_GenericTracker);
    helpers.SetFloatProperty(kContainer, vr::Prop_DisplayFrequency_Float, 90.0f);
    helpers.SetVec3Property(kContainer, vr::Prop_ImuFactoryGyroBias_Vector3, vr::HmdVector3_t{{0.5f, -1.0f, 2.0f}});

    EXPECT_EQ(store.values[vr::Prop_ImuFactoryGyroBias_Vector3].tag, vr::k_unHmdVector3PropertyTag);
    EXPECT_EQ(store.values[vr::Prop_ImuFactoryGyroBias_Vector3].bytes.size(), 12u);
    EXPECT_EQ(helpers.GetUint64Property(kContainer, vr::Prop_CurrentUniverseId_Uint64), 0x1234567890ull);
    EXPECT_TRUE(helpers.GetBoolProperty(kContainer, vr::Prop_NeverTracked_Bool));
    EXPECT_EQ(helpers.GetInt32Property(kContainer, vr::Prop_DeviceClass_Int32), 3);
    EXPECT_EQ(helpers.GetFloatProperty(kContainer, vr::Prop_DisplayFrequency_Float), 90.0f);
    vr::HmdVector3_t bias = helpers.GetVec3Property(kContainer, vr::Prop_ImuFactoryGyroBias_Vector3);
    EXPECT_EQ(bias.v[1], -1.0f);

    vr::HmdMatrix34_t imuToHead{};
    imuToHead.m[0][3] = 0.07f;
    EXPECT_EQ(helpers.SetProperty(kContainer, vr::Prop_ImuToHeadTransform_Matrix34, &imuToHead, sizeof(imuToHead),
                                  vr::k_unHmdMatrix34PropertyTag),
              vr::TrackedProp_Success);
    EXPECT_EQ(store.values[vr::Prop_ImuToHeadTransform_Matrix34].bytes.size(), 48u);
}

TEST(PropertyHelpers, WrongTypeYieldsTheDefaultAndAnError)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    helpers.SetInt32Property(kContainer, vr::Prop_CurrentUniverseId_Uint64, 77);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_EQ(helpers.GetUint64Property(kContainer, vr::Prop_CurrentUniverseId_Uint64, &error), 0u);
    EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
    EXPECT_EQ(helpers.GetStringProperty(kContainer, vr::Prop_CurrentUniverseId_Uint64, &error), "");
    EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
}

TEST(PropertyHelpers, AnyNonZeroByteReadsAsTrue)
{
    PropertyStore store;
    store.values[vr::Prop_DeviceIsWireless_Bool] = {vr::k_unBoolPropertyTag, {2}, vr::TrackedProp_Success};
    vr::CVRPropertyHelpers helpers(&store);
    EXPECT_TRUE(helpers.GetBoolProperty(kContainer, vr::Prop_DeviceIsWireless_Bool));
}

TEST(PropertyHelpers, ErrorsEraseAndPresence)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_FALSE(helpers.IsPropertySet(kContainer, vr::Prop_ModelNumber_String, &error));
    EXPECT_EQ(error, vr::TrackedProp_UnknownProperty);

    helpers.SetStringProperty(kContainer, vr::Prop_ModelNumber_String, "Rigid body");
    EXPECT_TRUE(helpers.IsPropertySet(kContainer, vr::Prop_ModelNumber_String, &error));
    EXPECT_EQ(error, vr::TrackedProp_BufferTooSmall);

    helpers.SetPropertyError(kContainer, vr::Prop_ModelNumber_String, vr::TrackedProp_NotYetAvailable);
    helpers.GetStringProperty(kContainer, vr::Prop_ModelNumber_String, &error);
    EXPECT_EQ(error, vr::TrackedProp_NotYetAvailable);

    EXPECT_EQ(helpers.EraseProperty(kContainer, vr::Prop_ModelNumber_String), vr::TrackedProp_Success);
    EXPECT_FALSE(helpers.IsPropertySet(kContainer, vr::Prop_ModelNumber_String));
    EXPECT_EQ(helpers.TrackedDeviceToPropertyContainer(5), kContainer);
}

TEST(PropertyHelpers, ArrayPropertyGrowsToTheReportedSize)
{
    PropertyStore store;
    vr::CVRPropertyHelpers helpers(&store);
    std::vector<float> rates = {72.0f, 80.0f, 90.0f, 120.0f, 144.0f};
    EXPECT_EQ(helpers.SetPropertyVector(kContainer, vr::Prop_DisplayAvailableFrameRates_Float_Array,
                                        vr::k_unFloatPropertyTag, &rates),
              vr::TrackedProp_Success);
    std::vector<float> read(2, -1.0f);
    EXPECT_EQ(helpers.GetPropertyVector(kContainer, vr::Prop_DisplayAvailableFrameRates_Float_Array,
                                        vr::k_unFloatPropertyTag, &read),
              vr::TrackedProp_Success);
    EXPECT_EQ(read, rates);
    EXPECT_EQ(helpers.GetPropertyVector(kContainer, vr::Prop_DisplayAvailableFrameRates_Float_Array,
                                        vr::k_unInt32PropertyTag, &read),
              vr::TrackedProp_WrongDataType);
    EXPECT_TRUE(read.empty());
}

TEST(PropertyHelpers, WithoutAPropertiesInterfaceCallsFailInsteadOfCrashing)
{
    vr::CVRPropertyHelpers helpers(nullptr);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    EXPECT_EQ(helpers.GetStringProperty(kContainer, vr::Prop_SerialNumber_String, &error), "");
    EXPECT_EQ(error, vr::TrackedProp_CouldNotContactServer);
    EXPECT_EQ(helpers.SetBoolProperty(kContainer, vr::Prop_NeverTracked_Bool, true),
              vr::TrackedProp_CouldNotContactServer);
}

// Hands out the interfaces it was given; counts lookups.
class FakeDriverContext : public vr::IVRDriverContext
{
public:
    void* GetGenericInterface(const char* pchInterfaceVersion, vr::EVRInitError* peError) override
    {
        ++lookups;
        auto found = interfaces.find(pchInterfaceVersion);
        if (found == interfaces.end())
        {
            if (peError)
                *peError = vr::VRInitError_Init_InterfaceNotFound;
            return nullptr;
        }
        if (peError)
            *peError = vr::VRInitError_None;
        return found->second;
    }
    vr::DriverHandle_t GetDriverHandle() override { return 0x42; }

    std::map<std::string, void*> interfaces;
    std::atomic<int> lookups{0};
};

struct CollectingLog : vr::IVRDriverLog
{
    void Log(const char* pchLogMessage) override { lines.emplace_back(pchLogMessage); }
    std::vector<std::string> lines;
};

// Only identity matters for these; they are never called.
alignas(8) unsigned char g_hostStandIn[8], g_settingsStandIn[8], g_managerStandIn[8], g_resourcesStandIn[8];

void AddFullHost(FakeDriverContext& context, PropertyStore* properties, CollectingLog* log)
{
    context.interfaces = {{vr::IVRServerDriverHost_Version, g_hostStandIn},
                          {vr::IVRSettings_Version, g_settingsStandIn},
                          {vr::IVRProperties_Version, properties},
                          {vr::IVRDriverLog_Version, log},
                          {vr::IVRDriverManager_Version, g_managerStandIn},
                          {vr::IVRResources_Version, g_resourcesStandIn}};
}

TEST(DriverContext, InitFetchesHostInterfacesAndAccessorsServeThem)
{
    PropertyStore properties;
    CollectingLog log;
    FakeDriverContext context;
    AddFullHost(context, &properties, &log);
    ASSERT_EQ(vr::InitServerDriverContext(&context), vr::VRInitError_None);
    const int lookupsAtInit = context.lookups;

    vr::VRDriverLog()->Log("hello");
    EXPECT_EQ(log.lines, std::vector<std::string>{"hello"});
    vr::VRProperties()->SetStringProperty(kContainer, vr::Prop_SerialNumber_String, "S1");
    EXPECT_EQ(properties.writes, 1);
    EXPECT_EQ(static_cast<void*>(vr::VRServerDriverHost()), static_cast<void*>(g_hostStandIn));
    EXPECT_EQ(vr::VRDriverHandle(), 0x42u);
    EXPECT_EQ(context.lookups, lookupsAtInit) << "cached interfaces are not fetched again";

    EXPECT_EQ(vr::VRIOBuffer(), nullptr) << "optional interfaces are fetched on use and may be missing";

    vr::CleanupDriverContext();
    EXPECT_EQ(vr::VRDriverLog(), nullptr);
}

TEST(DriverContext, MissingRequiredInterfaceFailsInit)
{
    PropertyStore properties;
    CollectingLog log;
    FakeDriverContext context;
    AddFullHost(context, &properties, &log);
    context.interfaces.erase(vr::IVRResources_Version);
    EXPECT_EQ(vr::InitServerDriverContext(&context), vr::VRInitError_Init_InterfaceNotFound);
    vr::CleanupDriverContext();
}

TEST(DriverContext, ConcurrentFirstUseFromDeviceThreads)
{
    PropertyStore properties;
    CollectingLog log;
    FakeDriverContext context;
    AddFullHost(context, &properties, &log);
    ASSERT_EQ(vr::InitServerDriverContext(&context), vr::VRInitError_None);
    alignas(8) static unsigned char ioBufferStandIn[8];
    context.interfaces[vr::IVRIOBuffer_Version] = ioBufferStandIn;
    // The context itself is only read here; the lazy fetch writes the module cache.
    std::vector<std::thread> threads;
    std::vector<void*> seen(4, nullptr);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = vr::VRIOBuffer(); });
    for (std::thread& thread : threads)
        thread.join();
    for (void* p : seen)
        EXPECT_EQ(p, static_cast<void*>(ioBufferStandIn));
    vr::CleanupDriverContext();
}

} // namespace
