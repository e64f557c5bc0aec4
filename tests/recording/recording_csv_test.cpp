#include "recording/csv_format.h"
#include "recording/records.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

using namespace halvex;
using halvex::test::cTempFolder;

// What `write` puts into a file opened like the recording files.
template <typename Write>
std::string Written(Write write) {
    cTempFolder folder;
    const std::string path = folder.Utf8() + "out.csv";
    std::FILE* file = platform::OpenFile(path, "wb");
    if (!file) return "<cannot open>";
    const bool ok = write(file);
    std::fclose(file);
    return ok ? test::ReadWholeFile(path) : "<write failed>";
}

TEST(RowTypeName, NamesTheFourTypesAndNumbersTheRest) {
    EXPECT_EQ(RowTypeName(0), "opt_pre");
    EXPECT_EQ(RowTypeName(1), "opt_post");
    EXPECT_EQ(RowTypeName(2), "imu_pre");
    EXPECT_EQ(RowTypeName(3), "imu_post");
    EXPECT_EQ(RowTypeName(7), "unk_7");
    EXPECT_EQ(RowTypeName(-2), "unk_-2");
    // A row type stored as a double is truncated; values beyond int are not converted.
    EXPECT_EQ(RowTypeNameOfValue(1.0), "opt_post");
    EXPECT_EQ(RowTypeNameOfValue(7.9), "unk_7");
    EXPECT_EQ(RowTypeNameOfValue(std::numeric_limits<double>::quiet_NaN()), "unk");
    EXPECT_EQ(RowTypeNameOfValue(1e300), "unk");
    EXPECT_EQ(RowTypeNameOfValue(-1e300), "unk");
}

TEST(RawCsv, HeaderWithoutFactoryScalesShowsIdentityRows) {
    const sRawDataHeader header;  // transform not yet known
    EXPECT_EQ(Written([&](std::FILE* f) { return WriteRawDataHeader(f, header); }),
              "# ImuToHead:\n"
              "#     +1.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00\n"
              "#     +0.0000000000000000e+00 +1.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00\n"
              "#     +0.0000000000000000e+00 +0.0000000000000000e+00 +1.0000000000000000e+00 +0.0000000000000000e+00\n"
              "#\n"
              "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz\n");
}

TEST(RawCsv, HeaderWritesRowsZeroToTwoAndFactoryScales) {
    sRawDataHeader header;
    const double m[4][4] = {{0.0, -1.0, 0.0, 0.015}, {1.0, 0.0, 0.0, -0.0625}, {0.0, 0.0, 1.0, 0.125}, {9, 9, 9, 9}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) header.imuToHead[r][c] = m[r][c];
    header.hasFactoryScales = true;
    header.factoryAccelScale[0] = 1.5;
    header.factoryAccelScale[1] = -0.25;
    header.factoryAccelScale[2] = 1e-3;
    header.factoryGyroScale[0] = 0.5;
    header.factoryGyroScale[1] = 2.0;
    header.factoryGyroScale[2] = 123456.75;
    EXPECT_EQ(Written([&](std::FILE* f) { return WriteRawDataHeader(f, header); }),
              "# ImuToHead:\n"
              "#     +0.0000000000000000e+00 -1.0000000000000000e+00 +0.0000000000000000e+00 +1.4999999999999999e-02\n"
              "#     +1.0000000000000000e+00 +0.0000000000000000e+00 +0.0000000000000000e+00 -6.2500000000000000e-02\n"
              "#     +0.0000000000000000e+00 +0.0000000000000000e+00 +1.0000000000000000e+00 +1.2500000000000000e-01\n"
              "#\n"
              "# FactoryAccelScale: +1.5000000000000000e+00 -2.5000000000000000e-01 +1.0000000000000000e-03\n"
              "# FactoryGyroScale: +5.0000000000000000e-01 +2.0000000000000000e+00 +1.2345675000000000e+05\n"
              "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz\n");
}

TEST(RawCsv, RowsNameTheSensorAndKeepFullPrecision) {
    const double accel[3] = {0.1, -9.8125, 1e-300};
    const double gyro[3] = {-0.5, 0.0, 3.0};
    const double position[3] = {1.25, -2.0, 1.0 / 3.0};
    const sRawRecord imu = MakeImuRawRecord(1234.5, 1234.25, accel, gyro);
    const sRawRecord optical = MakeOpticalRawRecord(1234.5, 1234.46875, position, 1.0, 0.0, -0.0, 0.5);
    EXPECT_EQ(Written([&](std::FILE* f) { return WriteRawRow(f, imu); }),
              "+1.2345000000000000e+03,+1.2342500000000000e+03,imu,+1.0000000000000001e-01,-9.8125000000000000e+00,"
              "+1.0000000000000000e-300,+0.0000000000000000e+00,-5.0000000000000000e-01,+0.0000000000000000e+00,"
              "+3.0000000000000000e+00\n");
    EXPECT_EQ(Written([&](std::FILE* f) { return WriteRawRow(f, optical); }),
              "+1.2345000000000000e+03,+1.2344687500000000e+03,opt,+1.2500000000000000e+00,-2.0000000000000000e+00,"
              "+3.3333333333333331e-01,+1.0000000000000000e+00,+0.0000000000000000e+00,-0.0000000000000000e+00,"
              "+5.0000000000000000e-01\n");
}

sFilterRecord SampleFilterRecord(double type) {
    sFilterRecord r{};
    r.driverTime = 2.5;
    r.rowType = type;
    for (int i = 0; i < 19; ++i) r.state[i] = (i + 1) * 0.1;
    for (int i = 0; i < 18; ++i) r.covarianceDiagonal[i] = -(i + 1) / 3.0;
    return r;
}

// Every value of a filter row reads back to the very double that was recorded.
void ExpectValuesReadBack(const std::vector<std::string>& fields, const sFilterRecord& r) {
    ASSERT_EQ(fields.size(), 39u);
    EXPECT_EQ(std::strtod(fields[0].c_str(), nullptr), r.driverTime);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(std::strtod(fields[2 + i].c_str(), nullptr), r.state[i]) << i;
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(std::strtod(fields[21 + i].c_str(), nullptr), r.covarianceDiagonal[i]) << i;
}

TEST(FilterCsv, HeaderNamesAll39Columns) {
    const std::string header = Written([](std::FILE* f) { return WriteFilterHeader(f); });
    EXPECT_EQ(header,
              "driverTime,type,posx,posy,posz,velx,vely,velz,oriw,orix,oriy,oriz,abx,aby,abz,gbx,gby,gbz,gx,gy,gz,"
              "posxp,posyp,poszp,velxp,velyp,velzp,orixp,oriyp,orizp,abxp,abyp,abzp,gbxp,gbyp,gbzp,gxp,gyp,gzp\n");
    EXPECT_EQ(test::SplitFields(test::SplitLines(header).at(0)).size(), 39u);
}

TEST(FilterCsv, LighthouseRowWritesTheTypeAsANumber) {
    const sFilterRecord r = SampleFilterRecord(1.0);
    const std::string text = Written([&](std::FILE* f) { return WriteLighthouseFilterRow(f, r); });
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(text.rfind("+2.5000000000000000e+00,+1.0000000000000000e+00,+1.0000000000000001e-01,"
                         "+2.0000000000000001e-01,",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(",+1.9000000000000001e+00,-3.3333333333333331e-01,"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 25), ",-6.0000000000000000e+00\n");
    const auto fields = test::SplitFields(test::SplitLines(text).at(0));
    ExpectValuesReadBack(fields, r);
    EXPECT_EQ(fields.at(1), "+1.0000000000000000e+00");
}

TEST(FilterCsv, WmrRowWritesTheTypeName) {
    const sFilterRecord r = SampleFilterRecord(7.0);
    const std::string text = Written([&](std::FILE* f) { return WriteWmrFilterRow(f, r); });
    EXPECT_EQ(text.rfind("+2.5000000000000000e+00, unk_7,+1.0000000000000001e-01,+2.0000000000000001e-01,", 0), 0u)
        << text;
    EXPECT_EQ(text.substr(text.size() - 25), ",-6.0000000000000000e+00\n");
    const auto fields = test::SplitFields(test::SplitLines(text).at(0));
    ExpectValuesReadBack(fields, r);
    EXPECT_EQ(fields.at(1), " unk_7");

    const std::string imuPost = Written([&](std::FILE* f) { return WriteWmrFilterRow(f, SampleFilterRecord(3.0)); });
    EXPECT_EQ(imuPost.rfind("+2.5000000000000000e+00, imu_post,", 0), 0u) << imuPost;
}

}  // namespace
