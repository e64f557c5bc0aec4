#include "device_replay.h"
#include "filter_comparison.h"
#include "recording_files.h"
#include "replay_tool.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace halvex::replay {
namespace {

const char kHeader[] =
    "# ImuToHead:\n"
    "#     +1.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00 +1.0000000000000000e-02\n"
    "#     +0.0000000000000000e+00 +1.0000000000000000e+00 +0.0000000000000000e+00 -2.0000000000000000e-02\n"
    "#     +0.0000000000000000e+00 +0.0000000000000000e+00 +1.0000000000000000e+00 +5.0000000000000000e-02\n"
    "#\n"
    "# FactoryAccelScale: +1.0000000000000000e+00 +1.0000000000000000e+00 +1.0000000000000000e+00\n"
    "# FactoryGyroScale: +1.0000000000000000e+00 +1.0000000000000000e+00 +1.0000000000000000e+00\n"
    "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz\n";
constexpr long kFirstRowLine = 9;

// A head standing still: IMU at 1 kHz read 0.3 ms after sampling, optical at
// 125 Hz delivered 11.9 ms after exposure, so that every frame is followed by an
// IMU read within 0.4 ms (no empty poll between). Rows are kept in driver-time order.
class cRecordingBuilder {
public:
    // A WMR head's file states no factory scales.
    explicit cRecordingBuilder(bool wmr = false) : mWmr(wmr) {}

    // Samples in [from, to); optical frames only where `optical` is true.
    void Still(double from, double to, bool imu = true, bool optical = true) {
        for (long k = Index(from, 1000.0); imu && k < Index(to, 1000.0); ++k) Imu(k / 1000.0);
        for (long k = Index(from, 125.0); optical && k < Index(to, 125.0); ++k) Optical(k / 125.0);
    }
    void Imu(double t, double driverDelay = 0.0003) {
        mRows.push_back({t + driverDelay, Line(t + driverDelay, t, "imu", 0.01, -9.81, 0.02, 0.0, 0.001, -0.002, 0.0005)});
    }
    // A row with any values: "eventTime,tx,ty,tz,rw,rx,ry,rz".
    void Row(double driverTime, const char* sensor, const std::string& values) {
        char time[40];
        std::snprintf(time, sizeof time, "%+1.16e,", driverTime);
        const size_t comma = values.find(',');
        mRows.push_back({driverTime, time + values.substr(0, comma) + "," + sensor + values.substr(comma) + "\n"});
    }
    void Optical(double t, double driverDelay = 0.0119) {
        mRows.push_back({t + driverDelay, Line(t + driverDelay, t, "opt", 0.0, 1.6, 0.0, 0.0, 0.0, 1.0, 0.0)});
    }

    std::string Text() {
        std::stable_sort(mRows.begin(), mRows.end(), [](const sRow& a, const sRow& b) { return a.time < b.time; });
        std::string text = kHeader;
        if (mWmr) text.erase(text.find("# FactoryAccelScale"), text.rfind("driverTime") - text.find("# FactoryAccelScale"));
        for (const sRow& row : mRows) text += row.text;
        return text;
    }
    sRawDataFile File() {
        std::istringstream in(Text());
        sRawDataFile file;
        sInputError error;
        EXPECT_TRUE(ReadRawDataFile(in, file, error)) << error.line << ": " << error.reason;
        return file;
    }

private:
    struct sRow {
        double time;
        std::string text;
    };
    static long Index(double t, double rate) { return static_cast<long>(std::ceil(t * rate - 1e-9)); }
    static std::string Line(double driverTime, double t, const char* sensor, double a, double b, double c, double w,
                            double x, double y, double z) {
        char text[400];
        std::snprintf(text, sizeof text, "%+1.16e,%+1.16e,%s,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e\n",
                      driverTime, t, sensor, a, b, c, w, x, y, z);
        return text;
    }
    bool mWmr;
    std::vector<sRow> mRows;
};

std::vector<std::string> ResetReasons(const sReplayResult& result) {
    std::vector<std::string> reasons;
    for (const sReplayReset& reset : result.resets) reasons.push_back(reset.reason);
    return reasons;
}

TEST(HalvexReplay, CleanStreamRunsWithoutResetsAndBracketsEveryOpticalRow) {
    cRecordingBuilder builder;
    builder.Still(10.0, 11.0);
    // Recorded as received, but never fed: a NaN IMU sample and a zero orientation.
    builder.Row(10.5001, "imu", "nan,0,-9.81,0,0,0,0,0");
    builder.Row(10.5002, "opt", "10.49,0,1.6,0,0,0,0,0");
    const sRawDataFile file = builder.File();
    const sReplayResult result = ReplayRecording(file, sReplayOptions());
    EXPECT_EQ(ResetReasons(result), std::vector<std::string>{"IMU stream opened"});
    ASSERT_EQ(result.filterRows.size(), 2u * 125u);
    for (size_t i = 0; i < result.filterRows.size(); ++i)
        EXPECT_EQ(result.filterRows[i].record.rowType, i % 2 == 0 ? 0.0 : 1.0);
    // Running by the end: held close to the optical pose moved by the IMU offset,
    // which the half turn of the body about y leaves unchanged in y.
    const sFilterRecord& last = result.filterRows.back().record;
    EXPECT_FALSE(IsFreshFilter(last));
    EXPECT_NEAR(last.state[1], 1.6 - 0.02, 0.005);
    EXPECT_LT(last.covarianceDiagonal[0], 1e-5);
}

TEST(HalvexReplay, ResetsFollowTheDeviceRulesOnRecordedTimes) {
    {
        // A repeated IMU time resets before the sample is fed.
        cRecordingBuilder builder;
        builder.Still(10.0, 10.5);
        builder.Imu(10.2, 0.0004);
        const sReplayResult result = ReplayRecording(builder.File(), sReplayOptions());
        EXPECT_EQ(ResetReasons(result), (std::vector<std::string>{"IMU stream opened", "negative IMU dt"}));
    }
    {
        // IMU silent for 0.3 s while frames go on: stale at the first frame 0.1 s on.
        cRecordingBuilder builder;
        builder.Still(10.0, 10.5);
        builder.Still(10.5, 10.8, /*imu=*/false);
        builder.Still(10.8, 11.0);
        const sReplayResult result = ReplayRecording(builder.File(), sReplayOptions());
        ASSERT_EQ(ResetReasons(result), (std::vector<std::string>{"IMU stream opened", "stale IMU data"}));
        EXPECT_GT(result.resets[1].driverTime, 10.4993 + 0.1);
        EXPECT_LT(result.resets[1].driverTime, 10.4993 + 0.1 + 1.0 / 125.0 + 0.001);
    }
    {
        // The device judges IMU staleness on the last pose it submitted. A first fix
        // followed by a poll that reads nothing (0.8 ms before the next IMU row) has
        // none since the reset: nothing to judge, no reset.
        cRecordingBuilder builder;
        builder.Still(10.0, 10.1, true, false);
        builder.Optical(10.05, 0.0125);
        builder.Still(10.1, 10.2, true, false);
        const sReplayResult result = ReplayRecording(builder.File(), sReplayOptions());
        EXPECT_EQ(ResetReasons(result), std::vector<std::string>{"IMU stream opened"});
        EXPECT_FALSE(IsFreshFilter(result.filterRows.back().record));
    }
    {
        // Frames missing for 1.5 s: the pose is held, no reset; for 2.5 s: stale.
        cRecordingBuilder held;
        held.Still(10.0, 10.5);
        held.Still(10.5, 12.0, true, /*optical=*/false);
        held.Still(12.0, 12.5);
        EXPECT_EQ(ReplayRecording(held.File(), sReplayOptions()).resets.size(), 1u);

        cRecordingBuilder stale;
        stale.Still(10.0, 10.5);
        stale.Still(10.5, 13.0, true, /*optical=*/false);
        stale.Still(13.0, 13.5);
        const sReplayResult result = ReplayRecording(stale.File(), sReplayOptions());
        ASSERT_EQ(ResetReasons(result), (std::vector<std::string>{"IMU stream opened", "stale optical data"}));
        EXPECT_NEAR(result.resets[1].driverTime, 1312.0 / 125.0 + 2.0, 0.001);  // 2 s after the last frame
    }
}

TEST(HalvexReplay, LatencyCorrectionMovesEveryOpticalTime) {
    // A frame stamped before the second IMU sample finds nothing to stand on...
    cRecordingBuilder builder;
    builder.Imu(10.000);
    builder.Imu(10.001);
    builder.Optical(10.0005);
    builder.Imu(10.002);
    const sRawDataFile file = builder.File();
    const sReplayResult plain = ReplayRecording(file, sReplayOptions());
    ASSERT_EQ(plain.filterRows.size(), 2u);
    EXPECT_TRUE(IsFreshFilter(plain.filterRows[1].record));
    // ...and is taken once the correction puts it after that sample.
    sReplayOptions late;
    late.opticalLatencyCorrection = 0.0007;
    const sReplayResult corrected = ReplayRecording(file, late);
    EXPECT_FALSE(IsFreshFilter(corrected.filterRows[1].record));
}

TEST(HalvexReplay, WmrHeadFollowsItsOwnRules) {
    const sReplayOptions wmr = DeviceOptions(eReplayDevice::Wmr);
    {
        // Every IMU sample bracketed by imu rows, every frame by opt rows, in feed order.
        cRecordingBuilder builder(true);
        builder.Still(10.0, 10.1);
        const sRawDataFile file = builder.File();
        EXPECT_FALSE(file.header.hasFactoryScales);
        const sReplayResult result = ReplayRecording(file, wmr);
        ASSERT_EQ(result.filterRows.size(), 2u * (100u + 13u));
        EXPECT_EQ(result.filterRows[0].record.rowType, FilterRow_ImuPre);
        EXPECT_EQ(result.filterRows[1].record.rowType, FilterRow_ImuPost);
        size_t optical = 0;
        for (size_t i = 0; i < result.filterRows.size(); i += 2) {
            const double type = result.filterRows[i].record.rowType;
            EXPECT_EQ(result.filterRows[i + 1].record.rowType, type + 1.0) << "row " << i;
            optical += type == FilterRow_OptPre;
        }
        EXPECT_EQ(optical, 13u);
        EXPECT_FALSE(IsFreshFilter(result.filterRows.back().record));
    }
    {
        // A repeated IMU time is fed as it comes: no reset, unlike the Lighthouse head.
        cRecordingBuilder builder(true);
        builder.Still(10.0, 10.5);
        builder.Imu(10.2, 0.0004);
        EXPECT_EQ(ReplayRecording(builder.File(), wmr).resets.size(), 1u);
        EXPECT_EQ(ReplayRecording(builder.File(), sReplayOptions()).resets.size(), 2u);
    }
    {
        // IMU silent for 0.2 s, frames missing for 2.2 s: within the WMR head's
        // limits (0.35 s, 2.5 s), past the Lighthouse head's (0.1 s, 2 s).
        cRecordingBuilder imuGap(true);
        imuGap.Still(10.0, 10.5);
        imuGap.Still(10.5, 10.7, /*imu=*/false);
        imuGap.Still(10.7, 11.0);
        EXPECT_EQ(ReplayRecording(imuGap.File(), wmr).resets.size(), 1u);
        EXPECT_EQ(ResetReasons(ReplayRecording(imuGap.File(), sReplayOptions())),
                  (std::vector<std::string>{"IMU stream opened", "stale IMU data"}));

        cRecordingBuilder opticalGap(true);
        opticalGap.Still(10.0, 10.5);
        opticalGap.Still(10.5, 12.7, true, /*optical=*/false);
        opticalGap.Still(12.7, 13.0);
        EXPECT_EQ(ReplayRecording(opticalGap.File(), wmr).resets.size(), 1u);
        EXPECT_EQ(ResetReasons(ReplayRecording(opticalGap.File(), sReplayOptions())),
                  (std::vector<std::string>{"IMU stream opened", "stale optical data"}));
    }
    {
        // Staleness is judged after a report of four samples only. Frames missing:
        // the pose is held 2 s after the last frame, then its IMU time ages and
        // goes stale 0.35 s later, at the end of a report.
        cRecordingBuilder builder(true);
        builder.Still(10.0, 10.5);
        builder.Still(10.5, 13.5, true, /*optical=*/false);
        const sRawDataFile file = builder.File();
        const sReplayResult result = ReplayRecording(file, wmr);
        ASSERT_EQ(ResetReasons(result), (std::vector<std::string>{"IMU stream opened", "stale IMU data"}));
        const double lastFrame = 1312.0 / 125.0;
        EXPECT_GT(result.resets[1].driverTime, lastFrame + 2.35);
        EXPECT_LT(result.resets[1].driverTime, lastFrame + 2.35 + 0.005);
        const auto imuRowsBefore = std::count_if(file.rows.begin(), file.rows.end(), [&](const sRawRow& r) {
            return r.record.sensorType == kRawSensorImu && r.line <= result.resets[1].line;
        });
        EXPECT_EQ(imuRowsBefore % 4, 0) << "reset at raw data line " << result.resets[1].line;
    }
}

class HalvexReplayTool : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (mFolder.Path() / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    int Run(const std::vector<std::string>& args) {
        mMessages.str("");
        return RunHalvexReplay(args, mMessages);
    }
    std::string Out() const { return (mFolder.Path() / "out.csv").string(); }

    test::cTempFolder mFolder;
    std::ostringstream mMessages;
};

TEST_F(HalvexReplayTool, ComparisonFindsTheRowWhereTheFilesPart) {
    cRecordingBuilder builder;
    builder.Still(10.0, 10.5);
    const std::string raw = Write("device1_rawdata.csv", builder.Text());
    ASSERT_EQ(Run({raw, "--out", Out()}), 0) << mMessages.str();
    const std::string replayed = test::ReadWholeFile(Out());

    // Its own output agrees; bias seeds come from the file.
    const std::string same = Write("same_filter.csv", replayed);
    EXPECT_EQ(Run({"--compare", same, "--out", Out(), raw}), 0) << mMessages.str();
    EXPECT_NE(mMessages.str().find("reproduces all 126 rows"), std::string::npos) << mMessages.str();

    // One velocity value changed in the 31st row (line 32).
    std::vector<std::string> lines = test::SplitLines(replayed);
    std::vector<std::string> fields = test::SplitFields(lines[31]);
    fields[6] = "+1.0000000000000000e+00";
    std::string changed;
    for (size_t i = 0; i < fields.size(); ++i) changed += (i ? "," : "") + fields[i];
    lines[31] = changed;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const std::string other = Write("other_filter.csv", text);
    EXPECT_EQ(Run({"--compare", other, "--out", Out(), raw}), 1);
    EXPECT_NE(mMessages.str().find("on the first 30 rows; they part at " + other + " line 32"), std::string::npos)
        << mMessages.str();
    EXPECT_NE(mMessages.str().find("column vely"), std::string::npos) << mMessages.str();
}

TEST_F(HalvexReplayTool, AWmrRecordingIsReplayedAndWrittenAsTheWmrHeadDoes) {
    cRecordingBuilder builder(true);
    builder.Still(10.0, 10.2);
    const std::string raw = Write("device1_rawdata.csv", builder.Text());
    ASSERT_EQ(Run({raw, "--out", Out()}), 0) << mMessages.str();
    const std::vector<std::string> lines = test::SplitLines(test::ReadWholeFile(Out()));
    ASSERT_GT(lines.size(), 3u);
    EXPECT_NE(lines[1].find(", imu_pre,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(", imu_post,"), std::string::npos) << lines[2];
    // The WMR head's own optical position variance: the Lighthouse head's would hold
    // the position far tighter after the same frames.
    std::vector<sFilterRow> own, lighthouse;
    sInputError error;
    {
        std::ifstream in(Out(), std::ios::binary);
        ASSERT_TRUE(ReadFilterFile(in, own, error));
    }
    ASSERT_EQ(Run({raw, "--position-variance", "1e-6", "--params", "0.1,0.01,1e-8,1e-8", "--out", Out()}), 0);
    std::ifstream in(Out(), std::ios::binary);
    ASSERT_TRUE(ReadFilterFile(in, lighthouse, error));
    ASSERT_EQ(own.size(), lighthouse.size());
    EXPECT_GT(own.back().record.covarianceDiagonal[0], 10.0 * lighthouse.back().record.covarianceDiagonal[0]);
}

TEST_F(HalvexReplayTool, OtherParametersGiveOtherButPlausibleRows) {
    cRecordingBuilder builder;
    builder.Still(10.0, 11.0);
    const std::string raw = Write("device1_rawdata.csv", builder.Text());
    ASSERT_EQ(Run({raw, "--out", Out()}), 0);
    const std::string own = Write("own_filter.csv", test::ReadWholeFile(Out()));
    ASSERT_EQ(Run({raw, "--params", "1,0.1,1e-6,1e-6", "--position-variance", "1e-4", "--out", Out()}), 0);

    std::vector<sFilterRow> a, b;
    sInputError error;
    std::ifstream ownIn(own, std::ios::binary), otherIn(Out(), std::ios::binary);
    ASSERT_TRUE(ReadFilterFile(ownIn, a, error));
    ASSERT_TRUE(ReadFilterFile(otherIn, b, error));
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(CompareFilterRows(b, a).parted);
    EXPECT_NEAR(b.back().record.state[1], a.back().record.state[1], 0.005);
    EXPECT_GT(b.back().record.covarianceDiagonal[0], a.back().record.covarianceDiagonal[0]);
}

TEST_F(HalvexReplayTool, MalformedInputNamesLineAndReason) {
    const std::string header(kHeader);
    const std::string row = "+1.0e+00,+1.0e+00,imu,0,0,0,0,0,0,0\n";
    struct sCase {
        std::string text;
        std::string expected;
    };
    const sCase cases[] = {
        {"", ":1: file ends before the header"},
        {"# ImuToHead:\n#  1 0 0\n", ":2: an ImuToHead row needs '#' and four numbers"},
        {header.substr(0, header.find("# FactoryAccelScale")) + "driverTime,eventTime\n",
         ":6: expected '# FactoryAccelScale:' or the column line"},
        {header.substr(0, header.find("# FactoryGyroScale")) + "# FactoryGyroScale: 1 1\n",
         ":7: expected '# FactoryGyroScale:' and three numbers"},
        {header.substr(0, header.rfind("driverTime")) + "time,x\n", ":8: expected the column line"},
        {header + row + "+2.0e+00,+2.0e+00,imu,0,0,0,0,0,0\n", ":10: expected 10 fields, got 9"},
        {header + row + "+2.0e+00,+2.0e+00,gps,0,0,0,0,0,0,0\n", ":10: sensor 'gps' is neither imu nor opt"},
        {header + "+2.0e+00,+2.0e+00,imu,0,0,zero,0,0,0,0\n", ":9: field 6 'zero' is not a number"},
        {header + "nan,+2.0e+00,imu,0,0,0,0,0,0,0\n", ":9: driverTime must be finite"},
    };
    for (const sCase& c : cases) {
        const std::string raw = Write("bad_rawdata.csv", c.text);
        EXPECT_EQ(Run({raw, "--out", Out()}), 2) << c.expected;
        EXPECT_NE(mMessages.str().find("halvex_replay: " + raw + c.expected), std::string::npos) << mMessages.str();
    }

    const std::string raw = Write("device1_rawdata.csv", header + row);
    const std::string filter = Write("bad_filter.csv", std::string(kFilterColumns) + "\n1,0,2\n");
    EXPECT_EQ(Run({raw, "--compare", filter, "--out", Out()}), 2);
    EXPECT_NE(mMessages.str().find(filter + ":2: expected 39 fields, got 3"), std::string::npos) << mMessages.str();

    EXPECT_EQ(Run({raw, "--params", "0.1,0.01"}), 2);
    EXPECT_NE(mMessages.str().find("bad value '0.1,0.01' for --params"), std::string::npos);
    EXPECT_EQ(Run({(mFolder.Path() / "missing.csv").string()}), 2);
    EXPECT_NE(mMessages.str().find("cannot open"), std::string::npos);
}

TEST_F(HalvexReplayTool, AnOrientationOnlyRecordingIsReadButNotReplayed) {
    const std::string wmrHeader = std::string(kHeader).erase(
        std::string(kHeader).find("# FactoryAccelScale"),
        std::string(kHeader).rfind("driverTime") - std::string(kHeader).find("# FactoryAccelScale"));
    const std::string text = wmrHeader.substr(0, wmrHeader.rfind("driverTime")) + kOrientationOnlySourceLine + "\n" +
                             kRawDataColumns + "\n+1.0e+00,+1.0e+00,imu,0,0,0,0,0.1,0.2,0.3\n";
    std::istringstream in(text);
    sRawDataFile file;
    sInputError error;
    ASSERT_TRUE(ReadRawDataFile(in, file, error)) << error.line << ": " << error.reason;
    EXPECT_TRUE(file.header.orientationOnly);
    EXPECT_FALSE(file.header.hasFactoryScales);
    ASSERT_EQ(file.rows.size(), 1u);
    EXPECT_EQ(file.rows[0].record.ry, 0.2);
    // The same line where factory scales go is a malformed header, not a second source.
    std::istringstream twice(wmrHeader.substr(0, wmrHeader.rfind("driverTime")) + kOrientationOnlySourceLine + "\n" +
                             kOrientationOnlySourceLine + "\n" + kRawDataColumns + "\n");
    EXPECT_FALSE(ReadRawDataFile(twice, file, error));
    EXPECT_EQ(error.line, 7);

    const std::string raw = Write("device3_rawdata.csv", text);
    EXPECT_EQ(Run({raw, "--out", Out()}), 2);
    EXPECT_NE(mMessages.str().find("orientation-only headset's recording: no accelerometer, no filter to replay"),
              std::string::npos)
        << mMessages.str();
}

}  // namespace
}  // namespace halvex::replay
