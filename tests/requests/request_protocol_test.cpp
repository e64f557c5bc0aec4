// The request protocol on its own: what is a request, what is an error, and how an
// answer is cut to the caller's buffer.
#include "requests/calibration_json.h"
#include "requests/json_text.h"
#include "requests/request_protocol.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using halvex::requests::eRequestKind;
using halvex::requests::ParseRequest;
using halvex::requests::WriteAnswer;
using halvex::ParseCalibrationField;

TEST(RequestProtocol, ReadsEachRequestWhateverTheSpacing) {
    EXPECT_EQ(ParseRequest("halvex/1 status").kind, eRequestKind::Status);
    EXPECT_EQ(ParseRequest("  halvex/1\tstatus \n").kind, eRequestKind::Status);
    EXPECT_EQ(ParseRequest("halvex/1 reload").kind, eRequestKind::Reload);
    EXPECT_EQ(ParseRequest("halvex/1 record start").kind, eRequestKind::RecordStart);
    EXPECT_EQ(ParseRequest("halvex/1   record   stop").kind, eRequestKind::RecordStop);
}

TEST(RequestProtocol, RefusesMalformedRequestsWithAReason) {
    const char* const malformed[] = {
        "",  "   ", "status", "halvex/2 status", "halvex/1", "halvex/1 STATUS", "halvex/1 status now",
        "halvex/1 record", "halvex/1 record pause", "halvex/1 record start now", "halvex/1 reload all",
        "halvex/1 fly", "halvex/10 status",
    };
    for (const char* text : malformed) {
        const auto parsed = ParseRequest(text);
        EXPECT_EQ(parsed.kind, eRequestKind::Invalid) << "'" << text << "'";
        EXPECT_FALSE(parsed.error.empty()) << "'" << text << "'";
    }
    EXPECT_EQ(ParseRequest(nullptr).kind, eRequestKind::Invalid);
    EXPECT_NE(ParseRequest("halvex/2 status").error.find("version"), std::string::npos);
    const std::string longRequest = "halvex/1 status" + std::string(10000, ' ');
    EXPECT_EQ(ParseRequest(longRequest.c_str()).kind, eRequestKind::Invalid);
}

TEST(RequestProtocol, AnErrorAnswerIsJsonEvenWithQuotesAndControlCharactersInIt) {
    const auto parsed = ParseRequest("halvex/1 \"a\\b\x01\"");
    ASSERT_EQ(parsed.kind, eRequestKind::Invalid);
    const auto answer = nlohmann::json::parse(halvex::requests::ErrorAnswer(parsed.verb, parsed.error));
    EXPECT_EQ(answer["protocol"], "halvex/1");
    EXPECT_EQ(answer["ok"], false);
    EXPECT_EQ(answer["request"], "\"a\\b\x01\"");
    EXPECT_NE(answer["error"].get<std::string>().find("unknown request"), std::string::npos);
}

TEST(RequestProtocol, NumbersThatAreNotFiniteBecomeNull) {
    halvex::requests::cJsonObject object;
    object.Number("nan", std::numeric_limits<double>::quiet_NaN());
    object.Number("inf", std::numeric_limits<double>::infinity());
    object.Number("half", 0.5);
    const auto parsed = nlohmann::json::parse(object.Finish());
    EXPECT_TRUE(parsed["nan"].is_null());
    EXPECT_TRUE(parsed["inf"].is_null());
    EXPECT_DOUBLE_EQ(parsed["half"].get<double>(), 0.5);
}

TEST(RequestProtocol, NumberArraysKeepTheirOrderAndNullTheirNonFiniteMembers) {
    halvex::requests::cJsonObject object;
    const double values[] = {1.5, std::numeric_limits<double>::quiet_NaN(), -2.0};
    object.Numbers("values", values, 3);
    object.Numbers("none", values, 0);
    const auto parsed = nlohmann::json::parse(object.Finish());
    EXPECT_EQ(parsed["values"], nlohmann::json::parse("[1.5,null,-2]"));
    EXPECT_EQ(parsed["none"], nlohmann::json::array());
}

TEST(RequestProtocol, ACalibrationShowsItsRigidBodyInSettingsUnitsAndItsOwnVariancesAsNull) {
    const auto identity = nlohmann::json::parse(halvex::requests::CalibrationJson({}));
    EXPECT_EQ(identity["identity"], true);
    EXPECT_EQ(identity["imuIdentity"], true);
    EXPECT_EQ(identity["rotationDeg"], nlohmann::json::parse("[0,0,0]"));
    EXPECT_EQ(identity["translationMm"], nlohmann::json::parse("[0,0,0]"));
    EXPECT_EQ(identity["opticalTimeOffsetMs"], 0);
    EXPECT_TRUE(identity["opticalPositionVariance"].is_null());
    EXPECT_EQ(identity["gyroCorrection"], nlohmann::json::parse("[1,0,0,0,1,0,0,0,1]"));

    halvex::sDeviceCalibration calibration;
    std::string reason;
    ASSERT_TRUE(ParseCalibrationField("RigidBodyInDevice", "4,-3,12,10,-20,30", calibration, reason)) << reason;
    ASSERT_TRUE(ParseCalibrationField("OpticalTimeOffsetMs", "-2.5", calibration, reason)) << reason;
    ASSERT_TRUE(ParseCalibrationField("GyroCorrection", "1.01,0.002,0,0,1,0,0,0,1", calibration, reason)) << reason;
    ASSERT_TRUE(ParseCalibrationField("OpticalOrientationVariance", "0.0004", calibration, reason)) << reason;
    const auto shown = nlohmann::json::parse(halvex::requests::CalibrationJson(calibration));
    EXPECT_EQ(shown["identity"], false);
    EXPECT_EQ(shown["imuIdentity"], false);
    const double rotation[] = {4, -3, 12}, translation[] = {10, -20, 30};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(shown["rotationDeg"][i].get<double>(), rotation[i], 1e-4) << i;
        EXPECT_NEAR(shown["translationMm"][i].get<double>(), translation[i], 1e-4) << i;
    }
    EXPECT_NEAR(shown["opticalTimeOffsetMs"].get<double>(), -2.5, 1e-9);
    EXPECT_NEAR(shown["gyroCorrection"][1].get<double>(), 0.002, 1e-9) << "row-major";
    EXPECT_TRUE(shown["opticalPositionVariance"].is_null());
    EXPECT_NEAR(shown["opticalOrientationVariance"].get<double>(), 0.0004, 1e-12);
}

// A buffer with guard bytes after the part the caller hands over.
struct sGuardedBuffer {
    explicit sGuardedBuffer(uint32_t size) : size(size) { std::memset(bytes, '#', sizeof(bytes)); }
    bool GuardIntact() const {
        for (size_t i = size; i < sizeof(bytes); ++i)
            if (bytes[i] != '#') return false;
        return true;
    }
    uint32_t size;
    char bytes[64];
};

TEST(RequestProtocol, AnAnswerIsCutToTheBufferAndAlwaysTerminated) {
    const std::string answer = R"({"protocol":"halvex/1","ok":true,"request":"status"})";
    sGuardedBuffer sixteen(16);
    EXPECT_EQ(WriteAnswer(answer, sixteen.bytes, sixteen.size), 16u);
    EXPECT_EQ(std::string(sixteen.bytes), answer.substr(0, 15));
    EXPECT_TRUE(sixteen.GuardIntact());

    sGuardedBuffer one(1);
    EXPECT_EQ(WriteAnswer(answer, one.bytes, one.size), 1u);
    EXPECT_EQ(one.bytes[0], '\0');
    EXPECT_TRUE(one.GuardIntact());

    sGuardedBuffer none(0);
    EXPECT_EQ(WriteAnswer(answer, none.bytes, 0), 0u);
    EXPECT_TRUE(none.GuardIntact());
    EXPECT_EQ(WriteAnswer(answer, nullptr, 16), 0u);

    const std::string fits = "{\"a\":1}";
    sGuardedBuffer exact(static_cast<uint32_t>(fits.size() + 1));
    EXPECT_EQ(WriteAnswer(fits, exact.bytes, exact.size), fits.size() + 1);
    EXPECT_EQ(std::string(exact.bytes), fits);
    EXPECT_TRUE(exact.GuardIntact());
}

TEST(RequestProtocol, ACutNeverSplitsAUtf8Sequence) {
    // "ab" then U+00E9 (two bytes): a 4-byte buffer holds "ab" and the NUL, not half the letter.
    const std::string answer = "ab\xC3\xA9z";
    char buffer[4];
    EXPECT_EQ(WriteAnswer(answer, buffer, sizeof(buffer)), 3u);
    EXPECT_STREQ(buffer, "ab");
    char wider[5];
    WriteAnswer(answer, wider, sizeof(wider));
    EXPECT_STREQ(wider, "ab\xC3\xA9");
}

}  // namespace
