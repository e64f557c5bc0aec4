#include "wire_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace tessaly::wire;

namespace {

std::vector<uint8_t> SampleFrame(size_t count) {
    std::vector<sRigidBody> bodies(count);
    for (size_t i = 0; i < count; ++i) {
        bodies[i].id = static_cast<int32_t>(i) - 2;
        bodies[i].position[0] = 0.5f * static_cast<float>(i);
        bodies[i].orientation[2] = 0.25f;
        bodies[i].flags = static_cast<uint16_t>(i % 2);
    }
    sFrameHeader header;
    header.frameNumber = 77;
    header.midExposureTicks = 1000;
    header.dataReceivedTicks = 1100;
    header.transmitTicks = 1200;
    std::vector<uint8_t> out;
    EXPECT_TRUE(EncodeFrame(out, 0xabcdef, 5, header, bodies.data(), bodies.size()));
    return out;
}

eParseResult Parse(const std::vector<uint8_t>& bytes, sDatagram* d) { return ParseDatagram(bytes.data(), bytes.size(), d); }

}  // namespace

TEST(WireFormat, FrameRoundTripKeepsEveryField) {
    const std::vector<uint8_t> bytes = SampleFrame(3);
    sDatagram d;
    ASSERT_EQ(Parse(bytes, &d), eParseResult::Ok);
    EXPECT_EQ(d.header.type, eMessageType::Frame);
    EXPECT_EQ(d.header.token, 0xabcdefu);
    EXPECT_EQ(d.header.sequence, 5u);
    EXPECT_EQ(d.frame.frameNumber, 77u);
    EXPECT_EQ(d.frame.midExposureTicks, 1000u);
    EXPECT_EQ(d.frame.dataReceivedTicks, 1100u);
    EXPECT_EQ(d.frame.transmitTicks, 1200u);
    ASSERT_EQ(d.frame.rigidBodyCount, 3u);
    const sRigidBody last = DecodeRigidBody(d, 2);
    EXPECT_EQ(last.id, 0);
    EXPECT_FLOAT_EQ(last.position[0], 1.0f);
    EXPECT_FLOAT_EQ(last.orientation[2], 0.25f);
    EXPECT_FLOAT_EQ(last.orientation[3], 1.0f);
    EXPECT_EQ(DecodeRigidBody(d, 1).flags, 1u);
    EXPECT_EQ(DecodeRigidBody(d, 0).id, -2);
}

TEST(WireFormat, EveryTruncationOfAFrameIsRefused) {
    const std::vector<uint8_t> bytes = SampleFrame(2);
    for (size_t size = 0; size < bytes.size(); ++size) {
        sDatagram d;
        EXPECT_NE(ParseDatagram(bytes.data(), size, &d), eParseResult::Ok) << "size " << size;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    sDatagram d;
    EXPECT_EQ(Parse(longer, &d), eParseResult::BadLength);
}

TEST(WireFormat, HeaderDefectsAreNamed) {
    std::vector<uint8_t> bytes = SampleFrame(1);
    sDatagram d;
    std::vector<uint8_t> wrongMagic = bytes;
    wrongMagic[0] ^= 1;
    EXPECT_EQ(Parse(wrongMagic, &d), eParseResult::BadMagic);
    std::vector<uint8_t> wrongVersion = bytes;
    wrongVersion[4] = 2;
    EXPECT_EQ(Parse(wrongVersion, &d), eParseResult::WrongVersion);
    std::vector<uint8_t> wrongType = bytes;
    wrongType[6] = 0x42;
    EXPECT_EQ(Parse(wrongType, &d), eParseResult::UnknownType);
    std::vector<uint8_t> lyingLength = bytes;
    lyingLength[20] += 1;
    EXPECT_EQ(Parse(lyingLength, &d), eParseResult::BadLength);
    EXPECT_EQ(ParseDatagram(bytes.data(), 10, &d), eParseResult::TooShort);
    EXPECT_EQ(ParseDatagram(nullptr, 0, &d), eParseResult::TooShort);
}

TEST(WireFormat, FrameWithCountBeyondPayloadOrNonFiniteValuesIsRefused) {
    sDatagram d;
    std::vector<uint8_t> countTooHigh = SampleFrame(2);
    countTooHigh[kHeaderSize + 28] = 3;  // count field: claims 3 entries, carries 2
    EXPECT_EQ(Parse(countTooHigh, &d), eParseResult::BadPayload);

    std::vector<sRigidBody> bodies(1);
    bodies[0].position[1] = std::numeric_limits<float>::quiet_NaN();
    std::vector<uint8_t> nan;
    ASSERT_TRUE(EncodeFrame(nan, 1, 1, sFrameHeader{}, bodies.data(), 1));
    EXPECT_EQ(Parse(nan, &d), eParseResult::BadPayload);

    bodies[0].position[1] = 0;
    bodies[0].orientation[0] = std::numeric_limits<float>::infinity();
    ASSERT_TRUE(EncodeFrame(nan, 1, 1, sFrameHeader{}, bodies.data(), 1));
    EXPECT_EQ(Parse(nan, &d), eParseResult::BadPayload);

    bodies[0].orientation[0] = 0;
    bodies[0].flags = 0x8001;  // a flag this version does not define
    ASSERT_TRUE(EncodeFrame(nan, 1, 1, sFrameHeader{}, bodies.data(), 1));
    EXPECT_EQ(Parse(nan, &d), eParseResult::BadPayload);

    std::vector<sRigidBody> tooMany(kMaxFrameRigidBodies + 1);
    EXPECT_FALSE(EncodeFrame(nan, 1, 1, sFrameHeader{}, tooMany.data(), tooMany.size()));
}

TEST(WireFormat, CommandsMustBePrintableAndBounded) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(EncodeCommandRequest(out, 9, 4, "SubscribeByID,RigidBody,-3"));
    sDatagram d;
    ASSERT_EQ(Parse(out, &d), eParseResult::Ok);
    EXPECT_EQ(std::string(d.command, d.commandLength), "SubscribeByID,RigidBody,-3");

    EXPECT_FALSE(EncodeCommandRequest(out, 9, 4, ""));
    EXPECT_FALSE(EncodeCommandRequest(out, 9, 4, "tab\there"));
    EXPECT_FALSE(EncodeCommandRequest(out, 9, 4, std::string(kMaxCommandLength + 1, 'x').c_str()));
    EXPECT_TRUE(EncodeCommandRequest(out, 9, 4, std::string(kMaxCommandLength, 'x').c_str()));

    ASSERT_TRUE(EncodeCommandRequest(out, 9, 4, "abc"));
    out.back() = '\n';  // a control character smuggled in on the wire
    EXPECT_EQ(Parse(out, &d), eParseResult::BadPayload);
}

TEST(WireFormat, CommandResponseDistinguishesNullEmptyAndContent) {
    std::vector<uint8_t> out;
    sDatagram d;
    ASSERT_TRUE(EncodeCommandResponse(out, 1, 2, 0, false, nullptr, 0));
    ASSERT_EQ(Parse(out, &d), eParseResult::Ok);
    EXPECT_FALSE(d.hasResponse);
    EXPECT_EQ(d.response, nullptr);

    const uint8_t eight[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    ASSERT_TRUE(EncodeCommandResponse(out, 1, 2, 7, true, eight, sizeof eight));
    ASSERT_EQ(Parse(out, &d), eParseResult::Ok);
    EXPECT_EQ(d.result, 7);
    ASSERT_TRUE(d.hasResponse);
    EXPECT_EQ(d.responseSize, 8u);
    EXPECT_EQ(std::memcmp(d.response, eight, 8), 0);

    // Content behind a "no response" flag is not a valid encoding.
    out[kHeaderSize + 4] = 0;
    EXPECT_EQ(Parse(out, &d), eParseResult::BadPayload);

    std::vector<uint8_t> big(kMaxResponseSize + 1);
    EXPECT_FALSE(EncodeCommandResponse(out, 1, 2, 0, true, big.data(), big.size()));
}

TEST(WireFormat, ServerInfoTextMustBeTerminatedAndPadded) {
    sServerInfo info;
    info.port = 4000;
    info.clockFrequency = 10000000;
    std::strcpy(info.name, "rig one");
    std::strcpy(info.app, "Corvane");
    sHeader probe;
    probe.token = 5;
    std::vector<uint8_t> out;
    EncodeDiscoveryAnswer(out, probe, info);
    sDatagram d;
    ASSERT_EQ(Parse(out, &d), eParseResult::Ok);
    EXPECT_STREQ(d.serverInfo.name, "rig one");
    EXPECT_EQ(d.serverInfo.port, 4000);

    const size_t nameOffset = kHeaderSize + 12;
    std::vector<uint8_t> unterminated = out;
    std::memset(&unterminated[nameOffset], 'a', kNameSize);
    EXPECT_EQ(Parse(unterminated, &d), eParseResult::BadPayload);
    std::vector<uint8_t> junkAfterText = out;
    junkAfterText[nameOffset + 20] = 'x';
    EXPECT_EQ(Parse(junkAfterText, &d), eParseResult::BadPayload);
    std::vector<uint8_t> zeroFrequency = out;
    std::memset(&zeroFrequency[kHeaderSize + 4], 0, 8);
    EXPECT_EQ(Parse(zeroFrequency, &d), eParseResult::BadPayload);
}
