#include "vrhost/host/driver_location.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include "vrhost/host/host_error.h"
#include "vrhost/host/json_io.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace vrhost {

namespace fs = std::filesystem;

const char* DriverPlatformDir() {
#if defined(_WIN32)
    return "win64";
#else
    return "linux64";
#endif
}

const char* DriverLibraryExtension() {
#if defined(_WIN32)
    return ".dll";
#else
    return ".so";
#endif
}

bool ReadWholeFile(const fs::path& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    contents = buffer.str();
    return true;
}

namespace {

const char* kManifestName = "driver.vrdrivermanifest";

sDriverLocation LocateFromFolder(const fs::path& folder) {
    const fs::path manifestPath = folder / kManifestName;
    std::string text;
    std::error_code ec;
    if (!fs::is_regular_file(manifestPath, ec) || !ReadWholeFile(manifestPath, text)) {
        throw cHostError("driver folder " + folder.u8string() + " has no " + kManifestName);
    }
    sManifestFields manifest;
    std::string error;
    if (!ParseManifestJson(text, manifest, error)) {
        throw cHostError("malformed manifest " + manifestPath.u8string() + ": " + error);
    }
    // The runtime refuses a driver whose folder is not named after it.
    fs::path absolute = fs::absolute(folder, ec).lexically_normal();
    if (absolute.filename().empty()) absolute = absolute.parent_path();  // trailing separator
    const std::string folderName = absolute.filename().u8string();
    if (!folderName.empty() && folderName != manifest.name) {
        throw cHostError("manifest " + manifestPath.u8string() + " names driver \"" + manifest.name +
                         "\" but its folder is \"" + folderName + "\"");
    }
    sDriverLocation location;
    location.name = manifest.name;
    location.folder = manifest.directory.empty() ? folder : folder / fs::u8path(manifest.directory);
    location.library = location.folder / "bin" / DriverPlatformDir() /
                       fs::u8path("driver_" + manifest.name + DriverLibraryExtension());
    if (!fs::is_regular_file(location.library, ec)) {
        throw cHostError("driver \"" + manifest.name + "\" has no library for this platform: " +
                         location.library.u8string() + " not found");
    }
    return location;
}

sDriverLocation LocateFromLibrary(const fs::path& library) {
    sDriverLocation location;
    location.library = library;
    std::string stem = library.stem().u8string();
    if (stem.rfind("driver_", 0) == 0) stem = stem.substr(7);
    location.name = stem;
    std::error_code ec;
    const fs::path candidate = fs::absolute(library, ec).lexically_normal().parent_path().parent_path().parent_path();
    if (!ec && fs::is_regular_file(candidate / kManifestName, ec)) location.folder = candidate;
    return location;
}

}  // namespace

sDriverLocation LocateDriver(const std::string& folderOrLibrary) {
    if (folderOrLibrary.empty()) throw cHostError("no driver given");
    const fs::path path = fs::u8path(folderOrLibrary);
    std::error_code ec;
    if (fs::is_directory(path, ec)) return LocateFromFolder(path);
    if (fs::is_regular_file(path, ec)) return LocateFromLibrary(path);
    throw cHostError("driver " + folderOrLibrary + " not found (neither a driver folder nor a library)");
}

std::string DriverFolderBesideProgram() {
#if defined(_WIN32)
    wchar_t path[4096];
    const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    const std::filesystem::path program(std::wstring(path, length));
#else
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
#endif
    return (program.parent_path().parent_path() / "halvex").u8string();
}

}  // namespace vrhost
