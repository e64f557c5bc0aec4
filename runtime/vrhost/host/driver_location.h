// Finding a driver the way the runtime does: a driver folder holds
// driver.vrdrivermanifest and bin/<platform>/driver_<name>.<ext>. A library path
// may be given instead; its driver folder is then found two levels up if it has a
// manifest (for the default settings and the resources).
#pragma once

#include <filesystem>
#include <string>

namespace vrhost {

struct sDriverLocation {
    std::string name;                 // driver name: manifest "name", or from the library file
    std::filesystem::path folder;     // driver folder; empty when the library stands alone
    std::filesystem::path library;    // the shared library to load
};

// "linux64" or "win64": the bin/ subfolder of this platform.
const char* DriverPlatformDir();
// ".so" or ".dll".
const char* DriverLibraryExtension();

// Resolves a driver folder or a library path (UTF-8). Throws cHostError with a
// one-line reason when the manifest is missing or malformed, or no library exists
// for this platform.
sDriverLocation LocateDriver(const std::string& folderOrLibrary);

// The driver folder a build lays out next to its programs: <bin>/../halvex, found
// from the running program's own path (UTF-8).
std::string DriverFolderBesideProgram();

// Reads a whole file as bytes; false when it cannot be opened.
bool ReadWholeFile(const std::filesystem::path& path, std::string& contents);

}  // namespace vrhost
