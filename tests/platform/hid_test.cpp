#include "platform/hid.h"
#include "platform/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "sim/wmr_hidraw_tree.h"

#include <unistd.h>
#endif

namespace {

using namespace halvex::platform;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

eHidRead Read(cHidDevice& device, std::vector<uint8_t>& buffer, const cHidStopSignal& stop, uint32_t& error,
              double timeoutSeconds = -1.0, size_t* bytes = nullptr) {
    size_t got = 0;
    const eHidRead result = device.ReadReport(buffer.data(), buffer.size(), stop, timeoutSeconds, got, error);
    if (bytes) *bytes = got;
    return result;
}

// On a device that sends nothing, a bounded read and a read whose stop signal could
// not be made both come back by themselves (`unblock` ends a read that does not).
void ExpectSilentReadsReturnByThemselves(cHidDevice& device, const std::function<void()>& unblock) {
    std::vector<uint8_t> buffer(381);
    uint32_t error = 0;
    cHidStopSignal stop;
    const cHidStopSignal unavailable{cHidStopSignal::sUnavailable{}};
    EXPECT_FALSE(unavailable.Valid());
    EXPECT_NE(unavailable.CreationError(), 0u);
    EXPECT_FALSE(unavailable.Wait(-1.0)) << "an endless wait is bounded";
    for (const cHidStopSignal* signal : {static_cast<const cHidStopSignal*>(&stop), &unavailable}) {
        const double timeout = signal == &stop ? 0.05 : -1.0;
        auto waiting = std::async(std::launch::async, [&] { return Read(device, buffer, *signal, error, timeout); });
        const bool returned = waiting.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!returned) unblock();
        EXPECT_TRUE(returned) << (signal == &stop ? "bounded read" : "read without a stop signal");
        EXPECT_EQ(waiting.get(), returned ? eHidRead::Timeout : eHidRead::Error);
    }
}

// A read on a device that sends nothing waits until the stop signal is raised from
// another thread, and then ends at once.
void ExpectStopEndsAWaitingRead(cHidDevice& device, cHidStopSignal& stop) {
    std::vector<uint8_t> buffer(381);
    uint32_t error = 0;
    const Clock::time_point start = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return Read(device, buffer, stop, error); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    stop.Raise();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), eHidRead::Stopped);
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST(HidReportDescriptor, LongestInputReportWithItsIdByte) {
    // id 1: 380 bytes; id 2: 2 x 16 bits input plus an output report that does not count.
    const std::vector<uint8_t> two = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  //
                                      0x85, 0x01, 0x75, 0x08, 0x96, 0x7C, 0x01, 0x81, 0x02,  //
                                      0x85, 0x02, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02,
                                      0x75, 0x08, 0x96, 0x00, 0x04, 0x91, 0x02,  // output, 1024 bytes
                                      0xC0};
    EXPECT_EQ(LongestInputReportLength(two.data(), two.size()), 381u);
    // Without report ids there is no id byte; bits round up to bytes.
    const std::vector<uint8_t> plain = {0x75, 0x01, 0x95, 0x0B, 0x81, 0x02};
    EXPECT_EQ(LongestInputReportLength(plain.data(), plain.size()), 2u);
    // Push and pop restore the report size; a long item is skipped whole.
    const std::vector<uint8_t> stacked = {0x85, 0x05, 0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x20, 0x81, 0x02,
                                          0xB4, 0xFE, 0x02, 0x10, 0x81, 0x81, 0x81, 0x02};
    EXPECT_EQ(LongestInputReportLength(stacked.data(), stacked.size()), 1u + 16u + 4u);
    // Nothing declared, or an item cut short at the end.
    EXPECT_EQ(LongestInputReportLength(nullptr, 0), 0u);
    const std::vector<uint8_t> cut = {0x75, 0x08, 0x96, 0x10};
    EXPECT_EQ(LongestInputReportLength(cut.data(), cut.size()), 0u);
}

#ifndef _WIN32

// A simulated hidraw tree in a private folder, with the platform layer pointed at it.
class HidrawTree : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/halvex-hid-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        mRoot = folder;
        setenv("HALVEX_HIDRAW_ROOT", mRoot.c_str(), 1);
        mTree = std::make_unique<sim::cHidrawTree>(mRoot);
    }
    void TearDown() override {
        mTree.reset();
        unsetenv("HALVEX_HIDRAW_ROOT");
        rmdir(mRoot.c_str());
    }
    std::string mRoot;
    std::unique_ptr<sim::cHidrawTree> mTree;
};

TEST_F(HidrawTree, EnumeratesInNodeOrderWithAttributesAndReportLength) {
    std::vector<int> nodes;
    for (int i = 0; i < 11; ++i) nodes.push_back(mTree->AddInterface(0x045E, 0x0600 + i, sim::WmrImuReportDescriptor()));
    const std::vector<std::string> paths = EnumerateHidInterfaces();
    ASSERT_EQ(paths.size(), 11u);
    EXPECT_EQ(paths[2], mTree->NodePath(2));
    EXPECT_EQ(paths[10], mTree->NodePath(10)) << "hidraw10 sorts after hidraw9";

    uint32_t error = 0;
    std::unique_ptr<cHidDevice> device = cHidDevice::Open(paths[9], error);
    ASSERT_TRUE(device) << error;
    sHidAttributes attributes;
    ASSERT_TRUE(device->GetAttributes(attributes));
    EXPECT_EQ(attributes.vendorId, 0x045E);
    EXPECT_EQ(attributes.productId, 0x0609);
    size_t length = 0;
    ASSERT_TRUE(device->GetInputReportLength(length));
    EXPECT_EQ(length, 381u);

    EXPECT_FALSE(cHidDevice::Open(mRoot + "/dev/hidraw99", error));
    EXPECT_NE(error, 0u);
}

TEST_F(HidrawTree, ReadsWholeReportsAndAStopEndsAWaitingRead) {
    const int node = mTree->AddInterface(0x045E, 0x0659, sim::WmrImuReportDescriptor());
    EXPECT_FALSE(mTree->Send(node, std::vector<uint8_t>(381, 7))) << "nobody reads yet: dropped";
    uint32_t error = 0;
    std::unique_ptr<cHidDevice> device = cHidDevice::Open(mTree->NodePath(node), error);
    ASSERT_TRUE(device);
    cHidStopSignal stop;
    std::vector<uint8_t> first(381, 1), second(381, 2), buffer(381, 0);
    first[380] = 0xAA;
    ASSERT_TRUE(mTree->Send(node, first));
    ASSERT_TRUE(mTree->Send(node, second));
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Report);
    EXPECT_EQ(buffer, first);
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Report);
    EXPECT_EQ(buffer, second);

    ExpectStopEndsAWaitingRead(*device, stop);
    // A stop raised before the read is not lost; once cleared, reads wait again.
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Stopped);
    stop.Clear();
    ASSERT_TRUE(mTree->Send(node, first));
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Report);
}

TEST_F(HidrawTree, AReadTellsHowManyBytesCameAndSilentReadsEndByThemselves) {
    const int node = mTree->AddInterface(0x045E, 0x0659, sim::WmrImuReportDescriptor());
    uint32_t error = 0;
    std::unique_ptr<cHidDevice> device = cHidDevice::Open(mTree->NodePath(node), error);
    ASSERT_TRUE(device);
    cHidStopSignal stop;
    std::vector<uint8_t> buffer(381);
    ASSERT_TRUE(mTree->Send(node, std::vector<uint8_t>(381, 1)));
    ASSERT_TRUE(mTree->Send(node, std::vector<uint8_t>(100, 2)));
    size_t bytes = 0;
    EXPECT_EQ(Read(*device, buffer, stop, error, -1.0, &bytes), eHidRead::Report);
    EXPECT_EQ(bytes, 381u);
    EXPECT_EQ(Read(*device, buffer, stop, error, -1.0, &bytes), eHidRead::Report);
    EXPECT_EQ(bytes, 100u) << "a short report is as long as it is, not as the buffer";
    EXPECT_EQ(buffer[380], 1) << "the buffer's tail is the earlier report's";

    ExpectSilentReadsReturnByThemselves(*device, [&] { mTree->RemoveInterface(node); });
}

TEST_F(HidrawTree, ADeviceThatGoesAwayIsAReadError) {
    const int node = mTree->AddInterface(0x045E, 0x0659, sim::WmrImuReportDescriptor());
    uint32_t error = 0;
    std::unique_ptr<cHidDevice> device = cHidDevice::Open(mTree->NodePath(node), error);
    ASSERT_TRUE(device);
    ASSERT_TRUE(mTree->Send(node, std::vector<uint8_t>(381, 1)));
    cHidStopSignal stop;
    std::vector<uint8_t> buffer(381);
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Report);
    mTree->RemoveInterface(node);
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Error);
    EXPECT_NE(error, 0u);
}

#else

TEST(WindowsHid, EnumerationAnswersAndAStopEndsAnOverlappedRead) {
    // Whatever HID interfaces the machine has (none under Wine), enumeration returns.
    const std::vector<std::string> paths = EnumerateHidInterfaces();
    EXPECT_LT(paths.size(), 4096u);

    // A named pipe stands in for a silent device: same handle, same overlapped read.
    const char* name = "\\\\.\\pipe\\halvex-hid-test";
    const HANDLE server = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    uint32_t error = 0;
    std::unique_ptr<cHidDevice> device = cHidDevice::Open(name, error);
    ASSERT_TRUE(device) << error;
    cHidStopSignal stop;
    std::vector<uint8_t> buffer(381);
    const std::vector<uint8_t> report(381, 5);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(server, report.data(), static_cast<DWORD>(report.size()), &written, nullptr));
    EXPECT_EQ(Read(*device, buffer, stop, error), eHidRead::Report);
    EXPECT_EQ(buffer, report);

    const std::vector<uint8_t> shortReport(100, 6);
    ASSERT_TRUE(WriteFile(server, shortReport.data(), static_cast<DWORD>(shortReport.size()), &written, nullptr));
    size_t bytes = 0;
    EXPECT_EQ(Read(*device, buffer, stop, error, -1.0, &bytes), eHidRead::Report);
    EXPECT_EQ(bytes, 100u);

    ExpectStopEndsAWaitingRead(*device, stop);
    stop.Clear();
    ExpectSilentReadsReturnByThemselves(*device, [&] { DisconnectNamedPipe(server); });
    device.reset();
    CloseHandle(server);
}

#endif

}  // namespace
