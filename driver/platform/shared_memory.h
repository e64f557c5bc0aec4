// Named shared memory of a fixed size, mapped read/write, reachable from another
// process by the same name (a pagefile-backed file mapping on Windows, POSIX shared
// memory "/<name>" elsewhere).
#pragma once

#include <cstddef>
#include <string>

namespace halvex::platform {

class cSharedMemory {
public:
    enum class eFailure { None, Create, Map };

    cSharedMemory() = default;
    ~cSharedMemory() { Close(); }
    cSharedMemory(const cSharedMemory&) = delete;
    cSharedMemory& operator=(const cSharedMemory&) = delete;

    // Creates the memory, or opens it when it exists already. The creator removes the
    // name again on Close (a Windows mapping goes with its last handle anyway).
    bool CreateOrOpen(const std::string& name, std::size_t size);
    // Opens memory that another process created; fails when it is missing or smaller.
    bool OpenExisting(const std::string& name, std::size_t size);
    void Close();

    void* Data() const { return mData; }
    std::size_t Size() const { return mSize; }
    // Which step failed last, with the system's error code.
    eFailure LastFailure() const { return mFailure; }
    int LastError() const { return mError; }

private:
    bool Fail(eFailure failure, int error);
    // Maps `size` bytes of the opened memory; the last step of both ways in.
    bool MapOpened(std::size_t size);

    void* mData = nullptr;
    std::size_t mSize = 0;
    eFailure mFailure = eFailure::None;
    int mError = 0;
#if defined(_WIN32)
    void* mMapping = nullptr;
#else
    int mFd = -1;
    std::string mUnlinkName;
#endif
};

}  // namespace halvex::platform
