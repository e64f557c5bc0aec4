#include "platform/known_folders.h"

#include "utf8_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>

namespace halvex::platform {
namespace {

// FOLDERID_ProgramData, spelt out so no GUID library is needed at link time.
const GUID kFolderIdProgramData = {0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
// FOLDERID_LocalAppData.
const GUID kFolderIdLocalAppData = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

std::string KnownFolder(const GUID& id) {
    PWSTR path = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = Utf8FromWide(path);
    CoTaskMemFree(path);  // owed even when the call failed
    return result;
}

// The variable first, so that a test can point it elsewhere.
std::string LocalAppDataFolder() {
    const wchar_t* variable = _wgetenv(L"LOCALAPPDATA");
    if (variable && variable[0] != L'\0') return Utf8FromWide(variable);
    return KnownFolder(kFolderIdLocalAppData);
}

std::string DriverFolderIn(std::string base, const char* leaf) {
    if (base.empty()) return {};
    if (base.back() == '\\' || base.back() == '/') base.pop_back();
    return base + "/Halvex/OpenVR Driver/" + leaf + "/";
}

}  // namespace

std::string RecordingLogFolder() { return DriverFolderIn(KnownFolder(kFolderIdProgramData), "Logs"); }

std::string DriverStateFolder() { return DriverFolderIn(LocalAppDataFolder(), "State"); }

}  // namespace halvex::platform
