// halvex_register against real files in a private folder, with VR_PATHREG_OVERRIDE
// pointing at the registry: what a user's registry file looks like before and after.
#include "path_registry_document.h"
#include "register_command.h"
#include "registry_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace {

namespace fs = std::filesystem;
using halvex::pathreg::Json;

#if defined(_WIN32)
std::wstring Wide(const std::string& text) { return fs::u8path(text).wstring(); }
#endif

// Sets an environment variable (UTF-8) for the test's lifetime.
class cScopedVariable {
public:
    cScopedVariable(const std::string& name, const std::string& value) : mName(name) {
#if defined(_WIN32)
        SetEnvironmentVariableW(Wide(mName).c_str(), Wide(value).c_str());
#else
        setenv(mName.c_str(), value.c_str(), 1);
#endif
    }
    ~cScopedVariable() {
#if defined(_WIN32)
        SetEnvironmentVariableW(Wide(mName).c_str(), nullptr);
#else
        unsetenv(mName.c_str());
#endif
    }

private:
    std::string mName;
};

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

void MarkReadOnly(const fs::path& file, bool readOnly) {
#if defined(_WIN32)
    SetFileAttributesW(file.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    fs::permissions(file, fs::perms::owner_write, readOnly ? fs::perm_options::remove : fs::perm_options::add);
#endif
}

// A registry as the runtime's own tool leaves it, with another vendor's driver.
const char* kForeignRegistry = R"({
   "config" : [ "C:\\Steam\\config" ],
   "external_drivers" : [ "C:\\Vendor\\other_driver", 42 ],
   "jsonid" : "vrpathreg",
   "log" : [ "C:\\Steam\\logs" ],
   "runtime" : [ "C:\\Steam\\steamapps\\common\\SteamVR" ],
   "version" : 1,
   "x_unknown" : { "kept" : true }
})";

class RegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        // A space and characters outside any one code page, in every path.
        mRoot = fs::temp_directory_path() / fs::u8path("halvex register \xC3\xBC\xE6\x97\xA5 " + std::to_string(stamp));
        mRegistry = mRoot / fs::u8path("App Data/openvr/openvrpaths.vrpath");
        mDriver = MakeDriverFolder(mRoot / fs::u8path("Pr\xC3\xB6gram Files/Halvex \xE3\x83\x8F/halvex"));
        mVariable = std::make_unique<cScopedVariable>("VR_PATHREG_OVERRIDE", mRegistry.u8string());
    }
    void TearDown() override {
        mVariable.reset();
        std::error_code ec;
        if (fs::exists(mRegistry, ec)) MarkReadOnly(mRegistry, false);
        fs::remove_all(mRoot, ec);
    }

    static fs::path MakeDriverFolder(const fs::path& folder) {
        Write(folder / "driver.vrdrivermanifest", R"({ "name" : "halvex", "directory" : "" })");
        return folder;
    }

    int Run(const std::vector<std::string>& args) {
        mOut.str("");
        mErr.str("");
        return halvex::pathreg::RunRegister(args, mRoot / "bin", mOut, mErr);
    }
    std::string DriverText() const { return halvex::pathreg::AbsoluteFolder(mDriver); }
    Json Parsed() const { return Json::parse(Read(mRegistry)); }
    std::vector<std::string> Drivers() const { return halvex::pathreg::StringEntries(Parsed(), "external_drivers"); }
    // Files beside the registry other than itself and its backup: a left-over temporary.
    std::vector<std::string> StrayFiles() const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(mRegistry.parent_path())) {
            const std::string name = entry.path().filename().u8string();
            if (name != "openvrpaths.vrpath" && name != "openvrpaths.vrpath.bak") stray.push_back(name);
        }
        return stray;
    }

    fs::path mRoot, mRegistry, mDriver;
    std::unique_ptr<cScopedVariable> mVariable;
    std::ostringstream mOut, mErr;
};

TEST_F(RegisterTest, MissingRegistryIsCreatedWithItsFolderAndListsTheDriverOnce) {
    ASSERT_EQ(Run({"install", mDriver.u8string()}), 0) << mErr.str();
    const Json root = Parsed();
    EXPECT_EQ(root["jsonid"], "vrpathreg");
    EXPECT_EQ(root["version"], 1);
    EXPECT_EQ(Drivers(), std::vector<std::string>{DriverText()});
    EXPECT_FALSE(fs::exists(halvex::pathreg::BackupFile(mRegistry))) << "nothing to back up";

    // Again, and with another spelling of the same folder: still one entry, file untouched.
    const std::string before = Read(mRegistry);
    ASSERT_EQ(Run({"install", (mDriver / "").u8string()}), 0) << mErr.str();
    ASSERT_EQ(Run({"install", (mDriver / "." ).u8string()}), 0) << mErr.str();
    EXPECT_EQ(Read(mRegistry), before);
    EXPECT_NE(mOut.str().find("already registered"), std::string::npos) << mOut.str();
    EXPECT_EQ(Run({"status", mDriver.u8string()}), 0);
    EXPECT_NE(mOut.str().find(" registered"), std::string::npos) << mOut.str();
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegisterTest, EmptyRegistryIsFilledAndBackedUp) {
    for (const std::string empty : {"", " \r\n"}) {
        Write(mRegistry, empty);
        fs::remove(halvex::pathreg::BackupFile(mRegistry));
        ASSERT_EQ(Run({"install", mDriver.u8string()}), 0) << mErr.str();
        EXPECT_EQ(Drivers(), std::vector<std::string>{DriverText()});
        EXPECT_EQ(Read(halvex::pathreg::BackupFile(mRegistry)), empty);
    }
}

TEST_F(RegisterTest, UnparsableRegistryIsLeftByteForByteWhateverTheCommand) {
    const std::vector<std::string> bad = {
        "{ \"external_drivers\" : [ \"C:\\\\a\" ", "[ \"not\", \"an object\" ]", "{ \"external_drivers\" : \"C:\\\\a\" }",
        "{ \"a\" : 1 } trailing", std::string("{ \"runtime\" : [ \"\xFF\xFE\" ] }")};
    for (const std::string& text : bad) {
        Write(mRegistry, text);
        for (const char* command : {"install", "remove", "status"}) {
            EXPECT_EQ(Run({command, mDriver.u8string()}), halvex::pathreg::kExitUnparsable) << command << ": " << text;
            EXPECT_NE(mErr.str().find("cannot parse " + mRegistry.u8string()), std::string::npos) << mErr.str();
            EXPECT_EQ(Read(mRegistry), text) << command;
        }
        EXPECT_FALSE(fs::exists(halvex::pathreg::BackupFile(mRegistry)));
        EXPECT_TRUE(StrayFiles().empty());
    }
}

TEST_F(RegisterTest, ForeignKeysAndEntriesAreKeptAndRemoveGivesBackTheSameRegistry) {
    Write(mRegistry, kForeignRegistry);
    const Json original = Json::parse(kForeignRegistry);
    ASSERT_EQ(Run({"install", mDriver.u8string()}), 0) << mErr.str();
    Json installed = Parsed();
    EXPECT_EQ(Read(halvex::pathreg::BackupFile(mRegistry)), kForeignRegistry);
    ASSERT_EQ(installed["external_drivers"].size(), 3u);
    EXPECT_EQ(installed["external_drivers"][2], DriverText());
    // Everything else as it was, keys in their order.
    installed["external_drivers"].erase(2);
    EXPECT_EQ(installed.dump(), original.dump());

    ASSERT_EQ(Run({"remove", mDriver.u8string()}), 0) << mErr.str();
    EXPECT_EQ(Parsed().dump(), original.dump());
    EXPECT_EQ(Run({"status", mDriver.u8string()}), halvex::pathreg::kExitFailed);
    EXPECT_NE(mOut.str().find("not registered"), std::string::npos) << mOut.str();
    // Removing what is not there changes nothing.
    const std::string before = Read(mRegistry);
    ASSERT_EQ(Run({"remove", mDriver.u8string()}), 0) << mErr.str();
    EXPECT_EQ(Read(mRegistry), before);
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegisterTest, ReadOnlyRegistryIsRefusedAndUntouched) {
    Write(mRegistry, kForeignRegistry);
    MarkReadOnly(mRegistry, true);
    EXPECT_EQ(Run({"install", mDriver.u8string()}), halvex::pathreg::kExitFailed);
    EXPECT_NE(mErr.str().find("read-only"), std::string::npos) << mErr.str();
    EXPECT_EQ(Read(mRegistry), kForeignRegistry);
    EXPECT_FALSE(fs::exists(halvex::pathreg::BackupFile(mRegistry)));
    halvex::pathreg::sRegistryFileState state;
    std::string error;
    ASSERT_TRUE(halvex::pathreg::ReadRegistryFile(mRegistry, state, error));
    EXPECT_TRUE(state.readOnly) << "the mark is the user's, not ours to lift";
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegisterTest, StaleFoldersOfTheDriverGoOthersStay) {
    const fs::path gone = mRoot / "old install" / "halvex";
    const fs::path otherLive = MakeDriverFolder(mRoot / "second copy" / "halvex");
    const fs::path foreignGone = mRoot / "uninstalled vendor" / "their_driver";
    Json root = {{"external_drivers", {gone.u8string(), otherLive.u8string(), foreignGone.u8string()}}};
    Write(mRegistry, root.dump());
    ASSERT_EQ(Run({"install", mDriver.u8string()}), 0) << mErr.str();
    EXPECT_NE(mOut.str().find("removed stale registration " + gone.u8string()), std::string::npos) << mOut.str();
    EXPECT_NE(mOut.str().find("another copy of the driver is also registered: " + otherLive.u8string()),
              std::string::npos)
        << mOut.str();
    // Another driver's folder, gone or not, is not ours to judge.
    EXPECT_EQ(Drivers(), (std::vector<std::string>{otherLive.u8string(), foreignGone.u8string(), DriverText()}));
}

TEST_F(RegisterTest, DriverFolderIsCheckedAndDefaultsToTheInstallation) {
    // Not a driver folder, or one the runtime would refuse for its name: nothing written.
    EXPECT_EQ(Run({"install", (mRoot / "nothing here").u8string()}), halvex::pathreg::kExitFailed);
    EXPECT_NE(mErr.str().find("is not a driver folder"), std::string::npos) << mErr.str();
    const fs::path misnamed = mRoot / "renamed";
    Write(misnamed / "driver.vrdrivermanifest", R"({ "name" : "halvex" })");
    EXPECT_EQ(Run({"install", misnamed.u8string()}), halvex::pathreg::kExitFailed);
    EXPECT_NE(mErr.str().find("folder named after it"), std::string::npos) << mErr.str();
    EXPECT_FALSE(fs::exists(mRegistry));

    // bin/../halvex of the program.
    const fs::path installed = MakeDriverFolder(mRoot / "halvex");
    ASSERT_EQ(Run({"install"}), 0) << mErr.str();
    EXPECT_EQ(Drivers(), std::vector<std::string>{halvex::pathreg::AbsoluteFolder(installed)});
    ASSERT_EQ(Run({"remove"}), 0) << mErr.str();
    EXPECT_TRUE(Drivers().empty());

    EXPECT_EQ(Run({}), halvex::pathreg::kExitUsage);
    EXPECT_EQ(Run({"add", mDriver.u8string()}), halvex::pathreg::kExitUsage);
}

TEST_F(RegisterTest, StatusNamesTheRuntimeFoldersAndWhetherTheyExist) {
    const fs::path runtime = mRoot / "Steam VR";
    fs::create_directories(runtime);
    const fs::path config = mRoot / "no config";
    Json root = {{"runtime", {runtime.u8string()}}, {"config", {config.u8string()}}, {"external_drivers", Json::array()}};
    Write(mRegistry, root.dump());
    EXPECT_EQ(Run({"status", mDriver.u8string()}), halvex::pathreg::kExitFailed);
    const std::string out = mOut.str();
    EXPECT_NE(out.find("runtime: " + runtime.u8string() + " (exists) in use"), std::string::npos) << out;
    EXPECT_NE(out.find("config: " + config.u8string() + " (missing) in use"), std::string::npos) << out;
    EXPECT_NE(out.find("log: none named"), std::string::npos) << out;
}

TEST(PathRegistryDocumentTest, SpellingsOfOneFolder) {
    using halvex::pathreg::SameFolder;
    EXPECT_TRUE(SameFolder("/a/b/halvex", "/a/b/halvex/"));
    EXPECT_TRUE(SameFolder("/a/b/halvex", "/a/./c/../b/halvex"));
    EXPECT_FALSE(SameFolder("/a/b/halvex", "/a/b/halvex2"));
    EXPECT_TRUE(halvex::pathreg::FolderNamedAfter("/x/halvex/", "halvex"));
    EXPECT_FALSE(halvex::pathreg::FolderNamedAfter("/x/halvex_old", "halvex"));
#if defined(_WIN32)
    EXPECT_TRUE(SameFolder("C:\\Program Files\\Halvex\\halvex", "c:/program files/HALVEX/halvex\\"));
    EXPECT_TRUE(halvex::pathreg::FolderNamedAfter("D:\\Old\\HALVEX", "halvex"));
#else
    EXPECT_FALSE(SameFolder("/a/Halvex", "/a/halvex")) << "Linux folders differ by case";
#endif
}

TEST(PathRegistryDocumentTest, DuplicatesOfTheFolderCollapseToOneAndRemoveTakesEvery) {
    const auto always = [](const std::string&) { return true; };
    Json root = {{"external_drivers", {"/d/halvex", "/other/x", "/d/halvex/"}}};
    const auto added = halvex::pathreg::AddDriverFolder(root, "/d/halvex", "halvex", always);
    EXPECT_TRUE(added.changed);
    EXPECT_EQ(root["external_drivers"], (Json{"/d/halvex", "/other/x"}));
    root["external_drivers"].push_back("/d/halvex/");
    const auto removed = halvex::pathreg::RemoveDriverFolder(root, "/d/halvex", "halvex", always);
    EXPECT_EQ(removed.removedEntries.size(), 2u);
    EXPECT_EQ(root["external_drivers"], Json{"/other/x"});
}

}  // namespace
