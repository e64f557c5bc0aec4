#include "report_builder.h"
#include "wmr/report_csv_line.h"
#include "wmr/report_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvex::wmr {
namespace {

std::vector<std::string> Dump(const std::vector<uint8_t>& bytes, size_t length) {
    std::vector<std::string> lines;
    DumpSensorReport(bytes.data(), length, [&](const char* line) { lines.emplace_back(line); });
    return lines;
}

TEST(ReportDump, MarksExactlyTheHexLinesWithANonZeroByte) {
    std::vector<uint8_t> bytes(381, 0);
    bytes[0] = 1;
    bytes[40] = 0x7f;  // line 2 (bytes 32..47)
    const std::vector<std::string> lines = Dump(bytes, bytes.size());
    ASSERT_GE(lines.size(), 2 + 24u);
    EXPECT_EQ(lines[0], "Report size=381");
    EXPECT_EQ(lines[1], "Raw Data size=381");
    const std::string zeros = " 0x00 0x00 0x00 0x00    ";
    EXPECT_EQ(lines[2], "\t 0x01 0x00 0x00 0x00    " + zeros + zeros + " 0x00 0x00 0x00 0x00  <--<<");
    EXPECT_EQ(lines[3], "\t" + zeros + zeros + zeros + " 0x00 0x00 0x00 0x00");
    EXPECT_EQ(lines[4], "\t" + zeros + " 0x00 0x00 0x00 0x00     0x7f 0x00 0x00 0x00    " +
                            " 0x00 0x00 0x00 0x00  <--<<");
    // 381 = 23 x 16 + 13: the last line is cut short and never marked.
    EXPECT_EQ(lines[25], "\t" + zeros + zeros + zeros + " 0x00");
    EXPECT_EQ(lines[26], "\tid = 1");
}

TEST(ReportDump, FieldsInReadableUnits) {
    std::vector<uint8_t> bytes = test::StillReport(2000);
    test::Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accX), 3000);
    test::Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accY), -4000);
    test::Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accZ), 0);
    test::Poke<int16_t>(bytes, offsetof(sWmrInputReport_Sensors, gyroY), 2000);
    test::Poke<int16_t>(bytes, offsetof(sWmrInputReport_Sensors, magY), -340);
    const std::vector<std::string> lines = Dump(bytes, bytes.size());
    auto after = [&](const std::string& heading) {
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i] == heading) return lines[i + 1];
        return std::string("missing ") + heading;
    };
    EXPECT_EQ(lines[27], "\ttemperature = 3100 3101 3102 3103");
    EXPECT_EQ(after("\tIMU Gyro"), "Sample 0 to 8 timestamp = 2.000000");
    EXPECT_EQ(after("Sample 0 to 8 timestamp = 2.000000").substr(0, 4 + 32),
              "         0.0     -2.0     -0.0 xxxx ");
    EXPECT_EQ(after("Sample 0 to 1 timestamp = 2.000000"), "         3.0      4.0     -0.0 -      5.0 xxxx ");
    EXPECT_EQ(after("Sample 0 to 1 timestamp = 2000"), "     120 -340  560 xxxx ");
    EXPECT_EQ(lines.back(), "sensorStateB[0] = 80");
    EXPECT_EQ(lines[lines.size() - 3], "sensorStateA[0] = 1");
}

TEST(ReportDump, ShortAndEmptyReportsSaySoAndStop) {
    const std::vector<uint8_t> bytes = {2, 9, 9, 9};
    EXPECT_EQ(Dump(bytes, 4), (std::vector<std::string>{"Report size=4", "\t id = 2",
                                                        "\t report size = 4 < 381 sizeof(sWmrInputReport_Sensors)",
                                                        "\t not large enough to be sWmrInputReport_Sensors"}));
    EXPECT_EQ(Dump(bytes, 0), std::vector<std::string>{"Report size=0"});
}

TEST(ReportCsvLine, HeaderNamesEveryElementInReportOrder) {
    const std::string header = SensorReportCsvHeader();
    EXPECT_EQ(header.rfind("dataName,id, temperature_0, temperature_1,", 0), 0u) << header;
    const std::string tail = ",sensorStateA_0, sensorStateA_1,sensorStateB_0";
    ASSERT_GE(header.size(), tail.size());
    EXPECT_EQ(header.substr(header.size() - tail.size()), tail);
    EXPECT_NE(header.find(", gyroZ_31, timestampAcc_0, "), std::string::npos);
    EXPECT_NE(header.find(", magZ_3,sensorStateA_0"), std::string::npos);
    size_t commas = 0;
    for (char c : header) commas += c == ',';
    EXPECT_EQ(commas, 1u + 139u);  // id, then every element of the 15 groups
}

TEST(ReportCsvLine, ValuesWithTheirFieldsTypesAndSigns) {
    std::vector<uint8_t> bytes = test::StillReport(18446744073709551000ull, 1);
    test::Poke<int16_t>(bytes, offsetof(sWmrInputReport_Sensors, gyroZ) + 2 * 31, -32768);
    test::Poke<int32_t>(bytes, offsetof(sWmrInputReport_Sensors, accZ) + 4 * 3, -2147483647 - 1);
    test::Poke<uint32_t>(bytes, offsetof(sWmrInputReport_Sensors, sensorStateB), 4294967295u);
    const std::string line = SensorReportCsvLine("SensorReport", test::AsReport(bytes));
    EXPECT_EQ(line.rfind("SensorReport,1, 3100, 3101, 3102, 3103, 18446744073709551000, 18446744073709551001,", 0), 0u)
        << line;
    EXPECT_NE(line.find(", -32768, 18446744073709551000,"), std::string::npos);
    EXPECT_NE(line.find(", -2147483648, 18446744073709551000,"), std::string::npos);
    const std::string tail = ", 560,1, 0,4294967295";
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

}  // namespace
}  // namespace halvex::wmr
