#include "vrhost/host/host_error.h"
#include "vrhost/interfaces/settings_store.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vrhost::cSettingsStore;
using vrhost_test::cScratchFolder;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto defaults = folder.Write("default.vrsettings", R"({
            "driver_halvex": { "trackingType": "Standard", "debugLevel": 0, "tessalyUseMulticast": true,
                               "ratio": 0.5, "whole": 4.0, "huge": 1e12, "list": [1, 2] },
            "other": { "shared": "default" } })");
        const auto user = folder.Write("steamvr.vrsettings", R"({
            "driver_halvex": { "debugLevel": 2, "tessalyRigidBodyIdHead": -7, "trackingType": null },
            "steamvr": { "shared": "user" } })");
        store.LoadDefaultsFile(defaults);
        store.LoadUserFile(user);
    }

    cScratchFolder folder;
    cSettingsStore store;
    vr::EVRSettingsError error = vr::VRSettingsError_IPCFailed;
};

TEST_F(SettingsStoreTest, UserLayerOverridesDefaultsKeyByKey) {
    EXPECT_EQ(store.GetInt32("driver_halvex", "debugLevel", &error), 2);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_EQ(store.GetInt32("driver_halvex", "tessalyRigidBodyIdHead", &error), -7);
    EXPECT_TRUE(store.GetBool("driver_halvex", "tessalyUseMulticast", &error));
    EXPECT_EQ(error, vr::VRSettingsError_None);
    // A null in the user file leaves the key to the defaults.
    char text[64];
    store.GetString("driver_halvex", "trackingType", text, sizeof(text), &error);
    EXPECT_STREQ(text, "Standard");
    EXPECT_EQ(error, vr::VRSettingsError_None);
    // Sections do not leak into each other.
    store.GetString("steamvr", "shared", text, sizeof(text), &error);
    EXPECT_STREQ(text, "user");
    store.GetString("other", "shared", text, sizeof(text), &error);
    EXPECT_STREQ(text, "default");
}

TEST_F(SettingsStoreTest, UnsetKeyAnswersNoDefaultAndZeroValues) {
    EXPECT_FALSE(store.GetBool("driver_halvex", "missing", &error));
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    error = vr::VRSettingsError_None;
    EXPECT_EQ(store.GetInt32("driver_halvex", "missing", &error), 0);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    error = vr::VRSettingsError_None;
    EXPECT_EQ(store.GetFloat("nosection", "missing", &error), 0.0f);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    char text[8] = "garbage";
    store.GetString("driver_halvex", "tessalyServerAddress", text, sizeof(text), &error);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    // The error out-pointer is optional.
    EXPECT_EQ(store.GetInt32("driver_halvex", "missing", nullptr), 0);
    EXPECT_STREQ(store.GetSettingsErrorNameFromEnum(vr::VRSettingsError_UnsetSettingHasNoDefault),
                 "VRSettingsError_UnsetSettingHasNoDefault");
}

TEST_F(SettingsStoreTest, WrongTypeIsAReadErrorWithZeroValue) {
    char text[32] = "garbage";
    store.GetString("driver_halvex", "debugLevel", text, sizeof(text), &error);
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(store.GetBool("driver_halvex", "debugLevel", &error));
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_EQ(store.GetInt32("driver_halvex", "ratio", &error), 0);  // 0.5 is not whole
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_EQ(store.GetInt32("driver_halvex", "huge", &error), 0);  // beyond int32
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_EQ(store.GetInt32("driver_halvex", "list", &error), 0);
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_EQ(store.GetInt32("steamvr", "shared", &error), 0);
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    // Numbers convert where nothing is lost.
    EXPECT_EQ(store.GetInt32("driver_halvex", "whole", &error), 4);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_FLOAT_EQ(store.GetFloat("driver_halvex", "debugLevel", &error), 2.0f);
    EXPECT_EQ(error, vr::VRSettingsError_None);
}

TEST_F(SettingsStoreTest, StringThatDoesNotFitIsNotHandedOutCut) {
    char text[8] = "garbage";
    store.GetString("driver_halvex", "trackingType", text, 8, &error);  // "Standard" needs 9
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
    EXPECT_STREQ(text, "");
    char exact[9];
    store.GetString("driver_halvex", "trackingType", exact, 9, &error);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_STREQ(exact, "Standard");
    store.GetString("driver_halvex", "trackingType", nullptr, 0, &error);
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
}

TEST_F(SettingsStoreTest, WritesGoToTheUserLayerAndRemovalRevealsDefaults) {
    store.SetString("driver_halvex", "trackingType", "HalvexOnly", &error);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    store.SetBool("driver_halvex", "recordRawData", true, &error);
    store.SetFloat("driver_halvex", "ratio", 0.25f, &error);
    store.SetInt32("new_section", "n", 41, &error);
    char text[32];
    store.GetString("driver_halvex", "trackingType", text, sizeof(text), &error);
    EXPECT_STREQ(text, "HalvexOnly");
    EXPECT_TRUE(store.GetBool("driver_halvex", "recordRawData", &error));
    EXPECT_FLOAT_EQ(store.GetFloat("driver_halvex", "ratio", &error), 0.25f);
    EXPECT_EQ(store.GetInt32("new_section", "n", &error), 41);

    store.RemoveKeyInSection("driver_halvex", "trackingType", &error);
    store.GetString("driver_halvex", "trackingType", text, sizeof(text), &error);
    EXPECT_STREQ(text, "Standard");
    store.RemoveSection("driver_halvex", &error);
    EXPECT_EQ(store.GetInt32("driver_halvex", "debugLevel", &error), 0);  // the default again
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_EQ(store.GetInt32("driver_halvex", "tessalyRigidBodyIdHead", &error), 0);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);

    store.SetString("driver_halvex", "x", nullptr, &error);
    EXPECT_EQ(error, vr::VRSettingsError_WriteFailed);
    store.SetInt32(nullptr, "x", 1, &error);
    EXPECT_EQ(error, vr::VRSettingsError_WriteFailed);
}

TEST(SettingsFileTest, InvalidJsonNamesFileLineAndColumn) {
    cScratchFolder folder;
    const auto file = folder.Write("bad.vrsettings", "{\n  \"driver_halvex\": {\n    \"debugLevel\": 2,,\n  }\n}\n");
    cSettingsStore store;
    try {
        store.LoadUserFile(file);
        FAIL() << "a malformed settings file was accepted";
    } catch (const vrhost::cHostError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("bad.vrsettings"), std::string::npos) << message;
        EXPECT_NE(message.find("line 3, column 21"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(SettingsFileTest, FileShapeErrorsAndMissingFiles) {
    cScratchFolder folder;
    cSettingsStore store;
    EXPECT_THROW(store.LoadUserFile(folder.Write("flat.vrsettings", R"({"debugLevel": 2})")), vrhost::cHostError);
    EXPECT_THROW(store.LoadUserFile(folder.Write("array.vrsettings", "[]")), vrhost::cHostError);
    EXPECT_THROW(store.LoadUserFile(folder.Path() / "absent.vrsettings"), vrhost::cHostError);
    // A driver without default settings is normal.
    EXPECT_NO_THROW(store.LoadDefaultsFile(folder.Path() / "absent.vrsettings"));
    EXPECT_THROW(store.LoadDefaultsFile(folder.Write("broken.vrsettings", "{")), vrhost::cHostError);
}

}  // namespace

namespace {

TEST_F(SettingsStoreTest, TrackingOverridesIsASectionLikeAnyOther) {
    const auto user = folder.Write("overrides.vrsettings", R"({
        "driver_halvex": { "trackingType": null, "tessalyRigidBodyIdHead": 3 },
        "TrackingOverrides": { "/devices/halvex/halvex-controller-a": "/devices/htc/vive_controllerLHR-1",
                               "/devices/halvex/halvex-head": "/user/head" } })");
    store.LoadUserFile(user);
    char value[64];
    store.GetString("TrackingOverrides", "/devices/halvex/halvex-controller-a", value, sizeof(value), &error);
    EXPECT_EQ(error, vr::VRSettingsError_None);
    EXPECT_STREQ(value, "/devices/htc/vive_controllerLHR-1");
    store.GetString("TrackingOverrides", "/devices/halvex/halvex-controller-b", value, sizeof(value), &error);
    EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
    store.SetString("TrackingOverrides", "/devices/halvex/halvex-controller-b", "/user/hand/left", &error);

    const vrhost::SettingsSection overrides = store.Section("TrackingOverrides");
    ASSERT_EQ(overrides.size(), 3u);
    EXPECT_EQ(overrides.at("/devices/halvex/halvex-controller-b").text, "/user/hand/left");
    EXPECT_EQ(overrides.at("/devices/halvex/halvex-head").text, "/user/head");
    // The merged section: user keys over defaults, a user null leaving the default.
    const vrhost::SettingsSection driver = store.Section("driver_halvex");
    EXPECT_EQ(driver.at("trackingType").text, "Standard");
    EXPECT_EQ(driver.at("tessalyRigidBodyIdHead").integerValue, 3);
    EXPECT_EQ(driver.at("debugLevel").integerValue, 0);
    EXPECT_TRUE(store.Section("nothing").empty());
}

}  // namespace
