// The driver's state folder and the atomic replacement of a file in it.
#include "platform/files.h"
#include "platform/known_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace halvex::platform;

#if defined(_WIN32)
const char* const kStateVariable = "LOCALAPPDATA";
void Put(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }
void Unset(const char* name) { _putenv_s(name, ""); }
#else
const char* const kStateVariable = "XDG_STATE_HOME";
void Put(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
void Unset(const char* name) { unsetenv(name); }
#endif

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class StateFiles : public ::testing::Test {
protected:
    void SetUp() override {
        mRoot = fs::temp_directory_path() / ("halvex-state-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(mRoot);
        const char* old = std::getenv(kStateVariable);
        mOld = old ? old : "";
        mHadOld = old != nullptr;
    }
    void TearDown() override {
        if (mHadOld)
            Put(kStateVariable, mOld);
        else
            Unset(kStateVariable);
        std::error_code ignored;
        fs::remove_all(mRoot, ignored);
    }
    fs::path mRoot;
    std::string mOld;
    bool mHadOld = false;
};

TEST_F(StateFiles, TheStateFolderFollowsTheUsersStateBase) {
    Put(kStateVariable, mRoot.u8string());
    EXPECT_EQ(DriverStateFolder(), mRoot.u8string() + "/Halvex/OpenVR Driver/State/");
    Put(kStateVariable, mRoot.u8string() + "/");
    EXPECT_EQ(DriverStateFolder(), mRoot.u8string() + "/Halvex/OpenVR Driver/State/") << "one separator, not two";
    EXPECT_NE(DriverStateFolder(), RecordingLogFolder());
}

TEST_F(StateFiles, AnAtomicWriteReplacesTheWholeFileAndLeavesNothingElse) {
    const std::string file = (mRoot / "biases.txt").u8string();
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(file, "a long first version\nof two lines\n", error)) << error;
    ASSERT_TRUE(WriteFileAtomically(file, "short\n", error)) << error;
    EXPECT_EQ(ReadAll(file), "short\n") << "nothing of the longer old file is left";
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(mRoot)) entries += entry.is_regular_file();
    EXPECT_EQ(entries, 1u) << "no temporary file stays behind";
}

TEST_F(StateFiles, AFailedWriteSaysWhyAndLeavesTheOldFile) {
    const std::string file = (mRoot / "kept.txt").u8string();
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(file, "old\n", error)) << error;
    // A folder where the file should be cannot be replaced by a file.
    const fs::path folder = mRoot / "occupied";
    fs::create_directories(folder / "inside");
    EXPECT_FALSE(WriteFileAtomically(folder.u8string(), "new\n", error));
    EXPECT_NE(error.find("occupied"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(WriteFileAtomically((mRoot / "missing" / "kept.txt").u8string(), "new\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(file), "old\n");
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(mRoot)) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u) << "the failed writes left no temporary file";
}

}  // namespace
