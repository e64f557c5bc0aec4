#include "core/driver_log.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class DriverLogTest : public ::testing::Test {
protected:
    void SetUp() override { halvex::RemoveDriverLogSink(); }
    void TearDown() override { halvex::RemoveDriverLogSink(); }
    cCapturingLog mLog;
};

TEST_F(DriverLogTest, DropsMessagesWhileNoSinkIsInstalled) {
    DriverLog("before %d", 1);
    halvex::InstallDriverLogSink(&mLog);
    DriverLog("during %d", 2);
    halvex::RemoveDriverLogSink();
    DriverLog("after %d", 3);
    EXPECT_EQ(mLog.Lines(), std::vector<std::string>{"during 2"});
}

TEST_F(DriverLogTest, KeepsTheFirstSinkAndAddsNothingToTheMessage) {
    cCapturingLog second;
    halvex::InstallDriverLogSink(&mLog);
    halvex::InstallDriverLogSink(&second);
    DriverLog("%s mRigidBodyID=%d", "halvex-head-s", 3);
    DriverLog("line\n");
    EXPECT_EQ(mLog.Lines(), (std::vector<std::string>{"halvex-head-s mRigidBodyID=3", "line\n"}));
    EXPECT_TRUE(second.Lines().empty());
}

TEST_F(DriverLogTest, TruncatesLongMessagesTo1023Characters) {
    halvex::InstallDriverLogSink(&mLog);
    const std::string longText(5000, 'x');
    DriverLog("%s%s", longText.c_str(), "tail");
    ASSERT_EQ(mLog.Lines().size(), 1u);
    EXPECT_EQ(mLog.Lines()[0], std::string(1023, 'x'));
}

TEST_F(DriverLogTest, StreamingLibraryLevelsGetPaddedPrefixes) {
    halvex::InstallDriverLogSink(&mLog);
    TessalyLogCallback(1, "a");
    TessalyLogCallback(2, "b");
    TessalyLogCallback(3, "c");
    TessalyLogCallback(4, "d");
    TessalyLogCallback(0, "e");
    TessalyLogCallback(5, "f");
    TessalyLogCallback(2, nullptr);
    EXPECT_EQ(mLog.Lines(), (std::vector<std::string>{
                                "TessalyLib [DEBUG]: a\n", "TessalyLib [INFO] : b\n", "TessalyLib [WARN] : c\n",
                                "TessalyLib [ERROR]: d\n", "TessalyLib [?????]: e\n", "TessalyLib [?????]: f\n",
                                "TessalyLib [INFO] : \n"}));
}

}  // namespace
