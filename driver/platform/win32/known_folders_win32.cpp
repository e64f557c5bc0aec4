#include "platform/known_folders.h"

#include "utf8_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace halvex::platform {
namespace {

// FOLDERID_ProgramData, spelt out so no GUID library is needed at link time.
const GUID kFolderIdProgramData = {0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

std::string ProgramDataFolder() {
    PWSTR path = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(kFolderIdProgramData, 0, nullptr, &path))) result = Utf8FromWide(path);
    CoTaskMemFree(path);  // owed even when the call failed
    return result;
}

}  // namespace

std::string RecordingLogFolder() {
    std::string base = ProgramDataFolder();
    if (base.empty()) return {};
    if (base.back() == '\\' || base.back() == '/') base.pop_back();
    return base + "/Halvex/OpenVR Driver/Logs/";
}

}  // namespace halvex::platform
