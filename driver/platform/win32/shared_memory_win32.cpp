#include "platform/shared_memory.h"

#include "utf8_win32.h"

#include <windows.h>

namespace halvex::platform {

bool cSharedMemory::Fail(eFailure failure, int error) {
    Close();
    mFailure = failure;
    mError = error;
    return false;
}

bool cSharedMemory::CreateOrOpen(const std::string& name, std::size_t size) {
    Close();
    const std::wstring wideName = WideFromUtf8(name);
    const unsigned long long size64 = size;
    mMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size64 >> 32),
                                  static_cast<DWORD>(size64 & 0xFFFFFFFFu), wideName.c_str());
    if (!mMapping) return Fail(eFailure::Create, static_cast<int>(GetLastError()));
    return MapOpened(size);
}

bool cSharedMemory::OpenExisting(const std::string& name, std::size_t size) {
    Close();
    mMapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, WideFromUtf8(name).c_str());
    if (!mMapping) return Fail(eFailure::Create, static_cast<int>(GetLastError()));
    return MapOpened(size);
}

bool cSharedMemory::MapOpened(std::size_t size) {
    mData = MapViewOfFile(mMapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!mData) return Fail(eFailure::Map, static_cast<int>(GetLastError()));
    mSize = size;
    mFailure = eFailure::None;
    return true;
}

void cSharedMemory::Close() {
    if (mData) UnmapViewOfFile(mData);
    mData = nullptr;
    mSize = 0;
    if (mMapping) CloseHandle(mMapping);
    mMapping = nullptr;
}

}  // namespace halvex::platform
