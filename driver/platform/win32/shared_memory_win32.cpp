#include "platform/shared_memory.h"

#include "utf8_win32.h"

#include <windows.h>

namespace halvex::platform {
namespace {

std::size_t WholePages(std::size_t size) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize ? info.dwPageSize : 4096;
    return (size + page - 1) / page * page;
}

// The size of the mapping behind `mapping`, in whole pages; 0 when it cannot be told.
std::size_t MappingSize(HANDLE mapping) {
    void* whole = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!whole) return 0;
    MEMORY_BASIC_INFORMATION info{};
    const std::size_t size = VirtualQuery(whole, &info, sizeof(info)) == sizeof(info) ? info.RegionSize : 0;
    UnmapViewOfFile(whole);
    return size;
}

}  // namespace

bool cSharedMemory::Fail(eFailure failure, int error) {
    Close();
    mFailure = failure;
    mError = error;
    return false;
}

bool cSharedMemory::Create(const std::string& name, std::size_t size) {
    Close();
    const std::wstring wideName = WideFromUtf8(name);
    const unsigned long long size64 = size;
    mMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size64 >> 32),
                                  static_cast<DWORD>(size64 & 0xFFFFFFFFu), wideName.c_str());
    const DWORD error = GetLastError();
    if (!mMapping) return Fail(eFailure::Create, static_cast<int>(error));
    mOrigin = eOrigin::Created;
    if (error == ERROR_ALREADY_EXISTS) {
        // Someone made it first, with a size of their choosing: a smaller one would fail
        // the view (or fault past its end), a larger one is not what the child expects.
        mOrigin = eOrigin::OpenedExisting;
        if (MappingSize(mMapping) != WholePages(size)) return Fail(eFailure::Unsafe, ERROR_ALREADY_EXISTS);
    }
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
