// vrhost's client service against clients that misbehave: garbage, unknown requests,
// broken frames, requests before hello, and clients that vanish mid-call.
#include "client_test_support.h"

#include "client_link/client_messages.h"
#include "client_link/frame_codec.h"
#include "client_link/loopback_stream.h"
#include "client_link/runtime_registration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using halvex::test::cInProcessRuntime;
using halvex::test::cPrivateStateFolder;
using namespace vrhost::link;

class cRawClient {
public:
    explicit cRawClient(uint16_t port) { EXPECT_TRUE(mStream.Connect(port, 1000)); }

    void SendBody(const std::string& body) { SendBytes(EncodeFrame(body)); }
    void SendBytes(const std::string& bytes) {
        EXPECT_EQ(mStream.SendAll(bytes.data(), bytes.size(), 1000), eIoResult::Done);
    }
    // The next reply (events are skipped); false when none comes within two seconds.
    bool NextReply(sClientReply& reply) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::string body;
        while (std::chrono::steady_clock::now() < deadline) {
            while (mReader.Next(body) == cFrameReader::eNext::Frame) {
                sClientEvent event;
                if (DecodeServerMessage(body, reply, event) == eServerMessage::Reply) return true;
            }
            char buffer[4096];
            size_t received = 0;
            if (mStream.Receive(buffer, sizeof(buffer), received, 50) == eIoResult::Closed) return false;
            mReader.Append(buffer, received);
        }
        return false;
    }
    bool ClosedByPeer() {
        char buffer[256];
        size_t received = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            if (mStream.Receive(buffer, sizeof(buffer), received, 50) == eIoResult::Closed) return true;
        }
        return false;
    }
    void Close() { mStream.Close(); }

private:
    cLoopbackStream mStream;
    cFrameReader mReader;
};

std::string Hello() {
    sClientRequest hello;
    hello.id = 1;
    hello.op = eClientOp::Hello;
    hello.applicationType = 4;
    return EncodeRequest(hello);
}

class ClientService : public ::testing::Test {
protected:
    cPrivateStateFolder mState;
};

TEST_F(ClientService, RefusesWhatItCannotReadAndKeepsServing) {
    cInProcessRuntime runtime(mState.Root() / "runtime.vrsettings");
    ASSERT_TRUE(runtime.Start());
    cRawClient hostile(runtime.Port());
    sClientReply reply;

    hostile.SendBody(R"({"id": 5, "op": "getInt32", "section": "driver_halvex", "key": "x"})");
    ASSERT_TRUE(hostile.NextReply(reply));
    EXPECT_TRUE(reply.refused) << "no request before hello";
    EXPECT_EQ(reply.id, 5u);

    hostile.SendBody(Hello());
    ASSERT_TRUE(hostile.NextReply(reply));
    EXPECT_FALSE(reply.refused) << reply.refusal;

    const char* const bad[] = {
        "not json at all",
        "[1, 2, 3]",
        R"({"id": 6, "op": "formatDisk"})",
        R"({"id": 7, "op": "setInt32", "section": "driver_halvex", "key": "k", "value": "seven"})",
        R"({"id": 8, "op": "setInt32", "section": "driver_halvex", "key": "k", "value": 99999999999})",
        R"({"id": 9, "op": "getString", "section": 3, "key": "k", "bufferSize": 10})",
        R"({"id": -1, "op": "hello", "applicationType": 4})",
        R"({"id": 10, "op": "deviceProperty", "device": 1})",
    };
    for (const char* body : bad) {
        hostile.SendBody(body);
        ASSERT_TRUE(hostile.NextReply(reply)) << body;
        EXPECT_TRUE(reply.refused) << body;
        EXPECT_FALSE(reply.refusal.empty()) << body;
    }
    EXPECT_EQ(runtime.Int32Setting("driver_halvex", "k"), 0) << "nothing refused was written";

    // A well-formed request on the same connection is still answered.
    hostile.SendBody(R"({"id": 11, "op": "setInt32", "section": "driver_halvex", "key": "k", "value": 3})");
    ASSERT_TRUE(hostile.NextReply(reply));
    EXPECT_FALSE(reply.refused);
    EXPECT_EQ(reply.id, 11u);
    EXPECT_EQ(runtime.Int32Setting("driver_halvex", "k"), 3);
}

TEST_F(ClientService, ABrokenFrameEndsThatClientOnly) {
    cInProcessRuntime runtime(mState.Root() / "runtime.vrsettings");
    ASSERT_TRUE(runtime.Start());
    cRawClient broken(runtime.Port());
    cRawClient good(runtime.Port());
    good.SendBody(Hello());
    sClientReply reply;
    ASSERT_TRUE(good.NextReply(reply));

    broken.SendBytes(std::string("\xff\xff\xff\x7f", 4) + "{}");
    ASSERT_TRUE(broken.NextReply(reply));
    EXPECT_TRUE(reply.refused);
    EXPECT_TRUE(broken.ClosedByPeer());

    good.SendBody(R"({"id": 2, "op": "deviceClass", "device": 0})");
    ASSERT_TRUE(good.NextReply(reply));
    EXPECT_FALSE(reply.refused);
}

TEST_F(ClientService, AClientThatVanishesMidCallCostsNothing) {
    cInProcessRuntime runtime(mState.Root() / "runtime.vrsettings");
    ASSERT_TRUE(runtime.Start());
    {
        cRawClient leaving(runtime.Port());
        leaving.SendBody(Hello());
        // Half a frame, then gone.
        leaving.SendBytes(EncodeFrame(Hello()).substr(0, 7));
        leaving.Close();
    }
    cRawClient staying(runtime.Port());
    staying.SendBody(Hello());
    sClientReply reply;
    ASSERT_TRUE(staying.NextReply(reply));
    EXPECT_FALSE(reply.refused);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (runtime.ClientCount() != 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(runtime.ClientCount(), 1u);
}

TEST_F(ClientService, OneRuntimeServesClientsAtATimeAndItsRegistrationLeavesWithIt) {
    cInProcessRuntime first(mState.Root() / "a.vrsettings");
    ASSERT_TRUE(first.Start());
    const auto registration = ReadLiveRegistration();
    ASSERT_TRUE(registration.has_value());
    EXPECT_EQ(registration->port, first.Port());
    first.Stop();
    EXPECT_FALSE(std::filesystem::exists(RegistrationFile()));
}

TEST(ClientMessages, FramesSurviveArrivingInPieces) {
    const std::string stream = EncodeFrame("first") + EncodeFrame("second");
    cFrameReader reader;
    std::string body;
    std::vector<std::string> bodies;
    for (const char c : stream) {
        reader.Append(&c, 1);
        while (reader.Next(body) == cFrameReader::eNext::Frame) bodies.push_back(body);
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"first", "second"}));
    reader.Append("\0\0\0\0", 4);
    EXPECT_EQ(reader.Next(body), cFrameReader::eNext::Invalid) << "an empty frame is no frame";
}

TEST(ClientMessages, RequestsAndRepliesRoundTrip) {
    sClientRequest request;
    request.id = 42;
    request.op = eClientOp::SetString;
    request.section = "TrackingOverrides";
    request.key = "/devices/halvex/halvex-head";
    request.stringValue = "/user/head";
    sClientRequest decoded;
    std::string error;
    ASSERT_TRUE(DecodeRequest(EncodeRequest(request), decoded, error)) << error;
    EXPECT_EQ(decoded.id, 42u);
    EXPECT_EQ(decoded.op, eClientOp::SetString);
    EXPECT_EQ(decoded.key, request.key);
    EXPECT_EQ(decoded.stringValue, request.stringValue);

    sClientReply reply;
    reply.id = 42;
    reply.tag = 5;
    reply.bytes = std::string("a\0\xff", 3);
    sClientReply back;
    sClientEvent event;
    ASSERT_EQ(DecodeServerMessage(EncodeReply(reply), back, event), eServerMessage::Reply);
    EXPECT_EQ(back.bytes, reply.bytes) << "property bytes are not text";
    EXPECT_EQ(DecodeServerMessage(R"({"id": 1, "error": 0, "bytes": "zz"})", back, event), eServerMessage::Invalid);
}

TEST(ClientMessages, RegistrationNeedsAPidAndAPort) {
    sRuntimeRegistration registration;
    EXPECT_TRUE(DecodeRegistration(R"({"pid": 12, "port": 4000, "settings": "/x"})", registration));
    EXPECT_EQ(registration.port, 4000);
    EXPECT_FALSE(DecodeRegistration(R"({"pid": 12, "port": 0})", registration));
    EXPECT_FALSE(DecodeRegistration(R"({"pid": 12, "port": 70000})", registration));
    EXPECT_FALSE(DecodeRegistration(R"({"port": 4000})", registration));
    EXPECT_FALSE(DecodeRegistration("{\"pid\": 12, \"po", registration));
}

}  // namespace
