#include "calibrate_tool.h"
#include "simulated_recording.h"

#include "recording/csv_format.h"
#include "recording/device_calibration.h"
#include "recording/records.h"
#include "stream_errors.h"
#include "temp_folder.h"

#include "sim/sensor_error_options.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace halvex::calibrate {
namespace {

// A raw data file as a device writes it, from a simulated recording: optical rows
// delivered 12 ms after their stamps, IMU rows only `withImu`.
void WriteRawDataFile(const std::filesystem::path& file, const calibration::sCalibrationRecording& recording,
                      const sRawDataHeader& header, bool withImu) {
    std::FILE* raw = std::fopen(file.string().c_str(), "wb");
    ASSERT_NE(raw, nullptr);
    ASSERT_TRUE(WriteRawDataHeader(raw, header));
    size_t o = 0;
    for (const calibration::sImuSample& s : recording.imu) {
        for (; o < recording.optical.size() && recording.optical[o].time <= s.time; ++o) {
            const calibration::sOpticalSample& p = recording.optical[o];
            const Eigen::Quaterniond& q = p.orientation;
            WriteRawRow(raw, MakeOpticalRawRecord(p.time + 0.012, p.time, p.position.data(), q.w(), q.x(), q.y(), q.z()));
        }
        if (withImu) WriteRawRow(raw, MakeImuRawRecord(s.time, s.time, s.accel.data(), s.gyro.data()));
    }
    std::fclose(raw);
}

// A recording folder as a Lighthouse head writes it.
void WriteHeadRecording(const std::filesystem::path& folder, const calibration::sCalibrationRecording& recording) {
    sRawDataHeader header;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) header.imuToHead[r][c] = recording.imuInDevice.matrix()(r, c);
    header.hasFactoryScales = true;
    WriteRawDataFile(folder / "device1_rawdata.csv", recording, header, true);
    std::ofstream filter(folder / "device1_filter.csv", std::ios::binary);
    filter << kFilterColumns << "\n0";
    for (int i = 1; i < 39; ++i) filter << ",0";
    filter << "\n";
}

// The files an Oculus head (orientation-only, no filter file) and one of its
// controllers (optical rows alone) write.
void WriteOrientationOnlyRecording(const std::filesystem::path& folder,
                                   const calibration::sCalibrationRecording& recording) {
    sRawDataHeader head;
    head.orientationOnly = true;
    WriteRawDataFile(folder / "device3_rawdata.csv", recording, head, true);
    WriteRawDataFile(folder / "device4_rawdata.csv", recording, sRawDataHeader{}, false);
}

int RunTool(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int status = RunHalvexCalibrate(args, o, e);
    out = o.str();
    err = e.str();
    return status;
}

TEST(HalvexCalibrate, JsonCarriesTheEstimatesAndApplyKeepsEveryOtherSetting) {
    halvex::test::cTempFolder folder;
    const sim::sSensorErrorOverrides errors = halvex::test::StreamErrors("-1,4,2,-15,35,20");
    std::string reason;
    calibration::sCalibrationValues truth;
    WriteHeadRecording(folder.Path(), calibration::SimulateRecording("calibration", sim::eSensorProfile::Realistic, 4,
                                                                     errors, 60.0, &truth));
    const std::filesystem::path settings = folder.Path() / "steamvr.vrsettings";
    {
        std::ofstream s(settings, std::ios::binary);
        s << R"({"driver_halvex": {"tessalyRigidBodyIdHead": 3, "trackingType": "Standard"}, "steamvr": {"x": 1}})";
    }
    std::string out, err;
    ASSERT_EQ(RunTool({"--json", "--apply", settings.string(), folder.Path().string()}, out, err), 0) << err << out;
    const nlohmann::json report = nlohmann::json::parse(out);
    ASSERT_EQ(report["devices"].size(), 1u);
    const nlohmann::json& head = report["devices"][0];
    EXPECT_EQ(head["slot"], "Head");
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(head["rigidBodyInDevice"]["rotationDeg"][i].get<double>(), truth.rotationDeg[i], 0.1);
        EXPECT_NEAR(head["rigidBodyInDevice"]["translationMm"][i].get<double>(), truth.translationMm[i], 1.0);
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(head["gyroCorrection"][i][j].get<double>(), truth.gyroCorrection(i, j), 1e-3);
    }
    EXPECT_NEAR(head["opticalTimeOffsetMs"].get<double>(), truth.opticalTimeOffsetMs, 0.2);
    for (const char* key : {"gyroBias", "accelBias", "accelCorrection", "standardError", "recommended", "residuals"})
        EXPECT_TRUE(head.contains(key)) << key;

    std::ifstream in(settings, std::ios::binary);
    const nlohmann::json written = nlohmann::json::parse(in);
    EXPECT_EQ(written["driver_halvex"]["tessalyRigidBodyIdHead"], 3);
    EXPECT_EQ(written["driver_halvex"]["trackingType"], "Standard");
    EXPECT_EQ(written["steamvr"]["x"], 1);
    sDeviceCalibration applied;
    ASSERT_TRUE(ParseCalibrationField(calibration_keys::kRigidBodyInDevice,
                                      written["driver_halvex"]["calibrationHeadRigidBodyInDevice"].get<std::string>(),
                                      applied, reason))
        << reason;
    EXPECT_NEAR(applied.rigidBodyInDevice.translation().x() * 1000.0,
                head["rigidBodyInDevice"]["translationMm"][0].get<double>(), 1e-9);
    EXPECT_NEAR(written["driver_halvex"]["calibrationHeadOpticalTimeOffsetMs"].get<double>(),
                head["opticalTimeOffsetMs"].get<double>(), 1e-9);
}

TEST(HalvexCalibrate, AnOrientationOnlyHeadGetsItsRotationAndTimeOffsetAndApplyWritesOnlyThose) {
    halvex::test::cTempFolder folder;
    const sim::sSensorErrorOverrides errors = halvex::test::StreamErrors("1.5,-2,3,20,-30,25", 0.004);
    std::string reason;
    calibration::sCalibrationValues truth;
    WriteOrientationOnlyRecording(folder.Path(), calibration::SimulateOrientationOnlyRecording(
                                                     "calibration", sim::MakeSensorProfile(sim::eSensorProfile::Ideal, 4, errors),
                                                     4, 45.0, &truth));
    const std::filesystem::path settings = folder.Path() / "steamvr.vrsettings";
    {
        std::ofstream s(settings, std::ios::binary);
        s << R"({"driver_halvex": {"calibrationHeadGyroBias": "0.001,0,0", "calibrationHeadOpticalTimeOffsetMs": 9}})";
    }
    std::string out, err;
    // The controller has nothing to be calibrated against: refused, so the status is 1.
    ASSERT_EQ(RunTool({"--json", "--apply", settings.string(), folder.Path().string()}, out, err), 1) << err << out;
    const nlohmann::json report = nlohmann::json::parse(out);
    ASSERT_EQ(report["devices"].size(), 2u);
    const nlohmann::json& head = report["devices"][0];
    EXPECT_EQ(head["slot"], "Head") << "the orientation-only file is the head's, without a filter file";
    ASSERT_EQ(head["ok"], true) << head.dump();
    EXPECT_EQ(head["orientationOnly"], true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(head["rigidBodyInDevice"]["rotationDeg"][i].get<double>(), truth.rotationDeg[i], 0.1);
        EXPECT_EQ(head["rigidBodyInDevice"]["translationMm"][i].get<double>(), 0.0);
    }
    EXPECT_NEAR(head["opticalTimeOffsetMs"].get<double>(), -4.0, 0.2);
    EXPECT_EQ(head["estimated"], nlohmann::json({"rigidBodyInDevice.rotationDeg", "opticalTimeOffsetMs"}));
    EXPECT_EQ(head["notEstimated"].size(), 6u);
    EXPECT_TRUE(head["standardError"]["gyroBias"].is_null());
    EXPECT_TRUE(head["standardError"]["rigidBodyInDevice"]["translationMm"].is_null());
    EXPECT_GT(head["standardError"]["rigidBodyInDevice"]["rotationDeg"][0].get<double>(), 0.0);
    EXPECT_FALSE(head.contains("recommended"));
    const nlohmann::json& controller = report["devices"][1];
    EXPECT_EQ(controller["slot"], "ControllerA");
    EXPECT_EQ(controller["ok"], false);
    EXPECT_NE(controller["refusal"].get<std::string>().find("no IMU samples"), std::string::npos) << controller.dump();

    std::ifstream in(settings, std::ios::binary);
    const nlohmann::json written = nlohmann::json::parse(in)["driver_halvex"];
    EXPECT_EQ(written.size(), 3u) << written.dump() << ": the rotation and the time offset, and what was there";
    EXPECT_EQ(written["calibrationHeadGyroBias"], "0.001,0,0");
    EXPECT_NEAR(written["calibrationHeadOpticalTimeOffsetMs"].get<double>(), head["opticalTimeOffsetMs"].get<double>(),
                1e-9);
    sDeviceCalibration applied;
    ASSERT_TRUE(ParseCalibrationField(calibration_keys::kRigidBodyInDevice,
                                      written["calibrationHeadRigidBodyInDevice"].get<std::string>(), applied, reason))
        << reason;
    EXPECT_NEAR(applied.RotationDeg().x(), head["rigidBodyInDevice"]["rotationDeg"][0].get<double>(), 1e-6);
    EXPECT_EQ(applied.rigidBodyInDevice.translation(), Eigen::Vector3d::Zero());

    RunTool({folder.Path().string()}, out, err);
    EXPECT_NE(out.find("orientation-only headset"), std::string::npos) << out;
    EXPECT_NE(out.find("not estimated"), std::string::npos) << out;
}

TEST(HalvexCalibrate, MalformedInputNamesFileAndLineAndRefusalSaysWhatToDo) {
    halvex::test::cTempFolder folder;
    const std::filesystem::path raw = folder.Path() / "device2_rawdata.csv";
    {
        std::ofstream f(raw, std::ios::binary);
        f << "# ImuToHead:\n#     +1 +0 +0 +0\n#     +0 +1 +0 +0\n#     +0 +0 +1 +0\n#\n"
          << kRawDataColumns << "\n1,1,imu,0,9.8,0,0,0,0\n";
    }
    std::string out, err;
    EXPECT_EQ(RunTool({raw.string()}, out, err), 2);
    EXPECT_NE(err.find("device2_rawdata.csv:7:"), std::string::npos) << err;
    EXPECT_EQ(RunTool({(folder.Path() / "missing").string()}, out, err), 2);
    EXPECT_EQ(RunTool({"--bogus", raw.string()}, out, err), 2);

    halvex::test::cTempFolder still;
    WriteHeadRecording(still.Path(),
                       calibration::SimulateRecording("still", sim::eSensorProfile::Ideal, 4, {}, 30.0));
    const std::filesystem::path settings = still.Path() / "untouched.vrsettings";
    EXPECT_EQ(RunTool({"--apply", settings.string(), still.Path().string()}, out, err), 1);
    EXPECT_NE(out.find("not calibrated: turn the head"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(settings));
}

}  // namespace
}  // namespace halvex::calibrate
