#include "vrhost/host/driver_location.h"
#include "vrhost/host/host.h"
#include "vrhost/host/host_error.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;
using vrhost_test::cScratchFolder;

// The error message LocateDriver or LoadDriver gives, or "" when it succeeds.
std::string LoadError(const fs::path& path) {
    try {
        vrhost::cHost host;
        host.LoadDriver(path.u8string());
    } catch (const vrhost::cHostError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.find('\n'), std::string::npos) << "not one line: " << message;
        return message;
    }
    return {};
}

void CopyLibrary(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

TEST(DriverLocationTest, FolderWithManifestFindsThePlatformLibrary) {
    const vrhost::sDriverLocation location = vrhost::LocateDriver(vrhost_test::FakeDriverFolder().u8string());
    EXPECT_EQ(location.name, "fake");
    EXPECT_EQ(location.library.filename().u8string(), fs::path(vrhost_test::LibraryPathInFolder("fake")).filename());
    EXPECT_TRUE(fs::exists(location.library));
    // The same with a trailing separator.
    EXPECT_EQ(vrhost::LocateDriver(vrhost_test::FakeDriverFolder().u8string() + "/").name, "fake");
}

TEST(DriverLocationTest, LibraryPathFindsItsDriverFolder) {
    const fs::path library = vrhost_test::FakeDriverFolder() / fs::u8path(vrhost_test::LibraryPathInFolder("fake"));
    const vrhost::sDriverLocation location = vrhost::LocateDriver(library.u8string());
    EXPECT_EQ(location.name, "fake");
    EXPECT_EQ(fs::weakly_canonical(location.folder), fs::weakly_canonical(vrhost_test::FakeDriverFolder()));
    // A library outside any driver folder stands alone.
    const vrhost::sDriverLocation alone = vrhost::LocateDriver(vrhost_test::NoFactoryLibrary().u8string());
    EXPECT_TRUE(alone.folder.empty());
    EXPECT_EQ(alone.name, "nofactory");
}

TEST(DriverLocationTest, BadDriverFoldersGiveOneLineReasons) {
    cScratchFolder scratch;
    EXPECT_NE(LoadError(scratch.Path() / "nowhere").find("not found"), std::string::npos);

    fs::create_directories(scratch.Path() / "empty");
    EXPECT_NE(LoadError(scratch.Path() / "empty").find("has no driver.vrdrivermanifest"), std::string::npos);

    scratch.Write("broken/driver.vrdrivermanifest", "{\n  \"name\": \"broken\"\n  \"directory\": \"\"\n}\n");
    const std::string broken = LoadError(scratch.Path() / "broken");
    EXPECT_NE(broken.find("malformed manifest"), std::string::npos) << broken;
    EXPECT_NE(broken.find("line 3, column"), std::string::npos) << broken;

    scratch.Write("nameless/driver.vrdrivermanifest", R"({"directory": ""})");
    EXPECT_NE(LoadError(scratch.Path() / "nameless").find("no \"name\""), std::string::npos);

    scratch.Write("renamed/driver.vrdrivermanifest", R"({"name": "fake"})");
    EXPECT_NE(LoadError(scratch.Path() / "renamed").find("but its folder is \"renamed\""), std::string::npos);

    scratch.Write("nolib/driver.vrdrivermanifest", R"({"name": "nolib"})");
    const std::string nolib = LoadError(scratch.Path() / "nolib");
    EXPECT_NE(nolib.find("no library for this platform"), std::string::npos) << nolib;
    EXPECT_NE(nolib.find(vrhost::DriverPlatformDir()), std::string::npos) << nolib;
}

TEST(DriverLocationTest, LibraryWithoutFactoryIsRefused) {
    cScratchFolder scratch;
    scratch.Write("plain/driver.vrdrivermanifest", R"({"name": "plain"})");
    CopyLibrary(vrhost_test::NoFactoryLibrary(), scratch.Path() / "plain" / fs::u8path(vrhost_test::LibraryPathInFolder("plain")));
    const std::string message = LoadError(scratch.Path() / "plain");
    EXPECT_NE(message.find("does not export HmdDriverFactory"), std::string::npos) << message;

    // A file that is no library at all.
    scratch.Write("junk/driver.vrdrivermanifest", R"({"name": "junk"})");
    scratch.Write("junk/" + vrhost_test::LibraryPathInFolder("junk"), "not a library");
    EXPECT_NE(LoadError(scratch.Path() / "junk").find("cannot load driver library"), std::string::npos);
}

TEST(DriverLocationTest, CopiedDriverFolderLoadsUnderItsOwnName) {
    cScratchFolder scratch;
    fs::copy(vrhost_test::FakeDriverFolder(), scratch.Path() / "fake", fs::copy_options::recursive);
    EXPECT_EQ(LoadError(scratch.Path() / "fake"), "");
}

}  // namespace
