// vrhost without --driver finds the driver the way the runtime does: through the
// path registry's "external_drivers" (VR_PATHREG_OVERRIDE points at a private file).
#include "vrhost/host/command_line.h"
#include "vrhost/host/registered_drivers.h"
#include "vrhost/accuracy/summary_reader.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace {

namespace fs = std::filesystem;

class cRegistryOverride {
public:
    explicit cRegistryOverride(const fs::path& file) {
#if defined(_WIN32)
        SetEnvironmentVariableW(L"VR_PATHREG_OVERRIDE", file.c_str());
#else
        setenv("VR_PATHREG_OVERRIDE", file.c_str(), 1);
#endif
    }
    ~cRegistryOverride() {
#if defined(_WIN32)
        SetEnvironmentVariableW(L"VR_PATHREG_OVERRIDE", nullptr);
#else
        unsetenv("VR_PATHREG_OVERRIDE");
#endif
    }
};

std::string JsonString(const fs::path& path) {
    std::string quoted = "\"";
    for (const char c : path.u8string()) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

int RunHost(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream outStream;
    std::ostringstream errStream;
    const int code = vrhost::RunVrhost(args, outStream, errStream, nullptr);
    out = outStream.str();
    err = errStream.str();
    return code;
}

TEST(RegisteredDriversTest, FirstLoadableRegisteredFolderIsHostedAndTheOthersNamed) {
    vrhost_test::cScratchFolder scratch;
    const fs::path gone = scratch.Path() / "gone" / "fake";
    const fs::path noLibrary = scratch.Write("no library/fake/driver.vrdrivermanifest", R"({ "name": "fake" })").parent_path();
    const fs::path registry = scratch.Write(
        "reg/openvrpaths.vrpath", "{ \"external_drivers\" : [ " + JsonString(gone) + ", 7, " + JsonString(noLibrary) +
                                      ", " + JsonString(vrhost_test::FakeDriverFolder()) + ", " +
                                      JsonString(vrhost_test::FakeDriverFolder()) + " ], \"version\" : 1 }");
    cRegistryOverride override(registry);

    const vrhost::sRegisteredDrivers drivers = vrhost::ReadRegisteredDrivers();
    EXPECT_TRUE(drivers.found) << drivers.error;
    EXPECT_EQ(drivers.folders.size(), 4u) << "the number is not a folder";

    std::string out, err;
    ASSERT_EQ(RunHost({"--duration", "0.2"}, out, err), vrhost::kExitOk) << err;
    const auto lines = vrhost::ReadSummary(out);
    ASSERT_EQ(vrhost::SelectLines(lines, "driver").size(), 1u) << out;
    EXPECT_EQ(vrhost::SelectLines(lines, "driver")[0].Get("name"), "fake");
    EXPECT_NE(out.find("registered driver not loaded: driver " + gone.u8string() + " not found"), std::string::npos) << out;
    EXPECT_NE(out.find("registered driver not loaded: driver \"fake\" has no library"), std::string::npos) << out;
    EXPECT_NE(out.find("hosting " + vrhost_test::FakeDriverFolder().u8string()), std::string::npos) << out;
    EXPECT_NE(out.find("hosts one driver; registered driver"), std::string::npos) << out;
}

TEST(RegisteredDriversTest, NoUsableRegistryIsABadInputNotASession) {
    vrhost_test::cScratchFolder scratch;
    struct sCase {
        std::string contents;  // empty: no file
        std::string reason;
    };
    const std::vector<sCase> cases = {
        {"", "does not exist"},
        {"{ \"external_drivers\" : [ ", "Unable to parse"},
        {"{ \"external_drivers\" : \"C:\\\\x\" }", "lists no driver folder that loads"},
        {"{ \"runtime\" : [] }", "lists no driver folder that loads"},
    };
    for (const sCase& c : cases) {
        const fs::path registry = scratch.Path() / "openvrpaths.vrpath";
        std::error_code ec;
        fs::remove(registry, ec);
        if (!c.contents.empty()) scratch.Write("openvrpaths.vrpath", c.contents);
        cRegistryOverride override(registry);
        std::string out, err;
        EXPECT_EQ(RunHost({"--duration", "0.1"}, out, err), vrhost::kExitBadInput) << c.contents;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(out.find("--- vrhost summary ---"), std::string::npos);
    }
}

}  // namespace
