#include "report_builder.h"
#include "wmr_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace halvex::wmr {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += digits;
    }
    return text;
}

struct sRun {
    int status;
    std::string output, errors;
};

sRun Decode(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunWmrDecode(in, out, err);
    return {status, out.str(), err.str()};
}

TEST(WmrDecodeTool, PrintsEverySampleOfEverySensorReportOnly) {
    std::vector<uint8_t> first = test::StillReport(1000);
    test::Poke<uint64_t>(first, offsetof(sWmrInputReport_Sensors, timestampAcc), 900);
    const std::vector<uint8_t> second = test::StillReport(41000);
    std::string input = "# arrival,report\n\n";
    input += "12.5," + Hex(first) + "\r\n";
    input += "12.6," + Hex(sim::WmrOtherReport(2, 381)) + "\n";   // another id: nothing
    input += "12.7," + Hex(std::vector<uint8_t>(second.begin(), second.end() - 1)) + "\n";  // short: nothing
    input += " 12.504 , " + Hex(second) + "\n";
    const sRun run = Decode(input);
    ASSERT_EQ(run.status, 0) << run.errors;

    std::istringstream lines(run.output);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 8u);
    // Report 0: base 900, sample 0 at (1000 + 900 - 1800) / 2e7; offset 12.5 - 0.00301.
    char expected[256];
    const double offset = 12.5 - 30100 / 1e7;
    std::snprintf(expected, sizeof expected, "0,0,%.17g,%.17g,0,9.8100000000000005,-0,0,-0,-0", 5e-6, 5e-6 + offset);
    EXPECT_EQ(rows[0], expected);
    // Report 3 is the fourth input line: numbering counts every report read.
    const double raw = (2.0 * 71000 - 1800) / 2e7;
    std::snprintf(expected, sizeof expected, "3,3,%.17g,%.17g,", raw, raw + (12.504 - (71000 - 900) / 1e7));
    EXPECT_EQ(rows[7].rfind(expected, 0), 0u) << rows[7];
}

TEST(WmrDecodeTool, AMalformedLineStopsWithItsNumberAndReason) {
    const std::string good = "1.0," + Hex(test::StillReport(1000)) + "\n";
    for (const auto& [bad, reason] : std::vector<std::pair<std::string, std::string>>{
             {"1.0\n", "expected 'arrival,HEX'"},
             {"abc,01\n", "arrival 'abc' is not a finite number"},
             {"nan,01\n", "arrival 'nan' is not a finite number"},
             {"2.0,0\n", "odd number of hexadecimal digits"},
             {"2.0,01zz\n", "not a hexadecimal digit at column 7"}}) {
        const sRun run = Decode(good + bad + good);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(run.errors, "wmr_decode: line 2: " + reason + "\n") << bad;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 4) << "the first report is out";
    }
}

}  // namespace
}  // namespace halvex::wmr
