#include "platform/files.h"
#include "platform/known_folders.h"
#include "scoped_env.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace halvex;
using halvex::test::cTempFolder;

// "Grüße-日本": outside every ANSI code page at once.
const char* const kUtf8Name = u8"Gr\u00fc\u00dfe-\u65e5\u672c";

TEST(PlatformFiles, CreatesNestedFoldersAndFilesWithUtf8Names) {
    cTempFolder temp;
    const std::string folder = temp.Utf8() + kUtf8Name + "/Halvex/OpenVR Driver/Logs/";
    ASSERT_TRUE(platform::CreateDirectories(folder));
    EXPECT_TRUE(platform::CreateDirectories(folder)) << "an existing folder is success";

    std::FILE* file = platform::OpenFile(folder + kUtf8Name + ".csv", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("a,b\n", file);
    std::fclose(file);
    EXPECT_EQ(test::ReadWholeFile(folder + kUtf8Name + ".csv"), "a,b\n");

    // The system sees the intended name, not its bytes read in some code page.
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(temp.Path())) entries.push_back(entry.path());
    ASSERT_EQ(entries.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(entries[0].filename().wstring(), std::wstring(L"Gr\u00fc\u00dfe-\u65e5\u672c"));
#else
    EXPECT_EQ(entries[0].filename().string(), kUtf8Name);
#endif
}

TEST(PlatformFiles, ReportsFailure) {
    cTempFolder temp;
    const std::string blocker = temp.Utf8() + "blocker";
    std::FILE* file = platform::OpenFile(blocker, "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_FALSE(platform::CreateDirectories(blocker + "/Logs/"));
    EXPECT_FALSE(platform::CreateDirectories(""));
    EXPECT_EQ(platform::OpenFile(blocker + "/x.csv", "wb"), nullptr);
    EXPECT_EQ(platform::OpenFile(temp.Utf8() + "missing.csv", "rb"), nullptr);
}

#ifdef _WIN32
TEST(KnownFolders, RecordingLogFolderIsUnderProgramData) {
    const std::string folder = platform::RecordingLogFolder();
    const std::string tail = "/Halvex/OpenVR Driver/Logs/";
    ASSERT_GT(folder.size(), tail.size());
    EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
    if (const char* programData = std::getenv("ProgramData")) {
        EXPECT_EQ(folder.substr(0, folder.size() - tail.size()), programData);
    }
}
#else
TEST(KnownFolders, RecordingLogFolderFollowsTheStateHome) {
    {
        test::cScopedEnv state("XDG_STATE_HOME", "/var/tmp/state/");
        EXPECT_EQ(platform::RecordingLogFolder(), "/var/tmp/state/Halvex/OpenVR Driver/Logs/");
    }
    {
        // A relative state home is ignored, as the base-directory rules require.
        test::cScopedEnv state("XDG_STATE_HOME", "relative/state");
        test::cScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(platform::RecordingLogFolder(), "/home/someone/.local/state/Halvex/OpenVR Driver/Logs/");
    }
    {
        test::cScopedEnv state("XDG_STATE_HOME", nullptr);
        test::cScopedEnv home("HOME", nullptr);
        EXPECT_EQ(platform::RecordingLogFolder(), "");
    }
}
#endif

}  // namespace
