// Named shared memory of a fixed size, mapped read/write, reachable from another
// process by the same name (a pagefile-backed file mapping on Windows, POSIX shared
// memory "/<name>" elsewhere).
#pragma once

#include <cstddef>
#include <string>

namespace halvex::platform {

class cSharedMemory {
public:
    // Unsafe: the name exists and is not ours to use (another user's, or of another size).
    enum class eFailure { None, Create, Map, Unsafe };
    // How Create came by the memory.
    enum class eOrigin { Created, ReplacedStale, OpenedExisting };

    cSharedMemory() = default;
    ~cSharedMemory() { Close(); }
    cSharedMemory(const cSharedMemory&) = delete;
    cSharedMemory& operator=(const cSharedMemory&) = delete;

    // Creates the memory under `name`, for a child to open. Whoever held the name before
    // must not be able to shrink it under us (a mapped page past the end is a SIGBUS).
    // POSIX: created exclusively, owner read-write only; a name this user left behind is
    // removed first (ReplacedStale), another user's is refused; owner, mode and size are
    // checked once made. Windows, where a name cannot be taken away: an existing mapping
    // is used (OpenedExisting) when its size, in whole pages, is right, else refused.
    // The creator removes the name again on Close, if it still names this memory (a
    // Windows mapping goes with its last handle anyway).
    bool Create(const std::string& name, std::size_t size);
    // Opens memory that another process created; fails when it is missing or smaller.
    bool OpenExisting(const std::string& name, std::size_t size);
    void Close();

    void* Data() const { return mData; }
    std::size_t Size() const { return mSize; }
    // Which step failed last, with the system's error code.
    eFailure LastFailure() const { return mFailure; }
    eOrigin Origin() const { return mOrigin; }
    int LastError() const { return mError; }

private:
    bool Fail(eFailure failure, int error);
    // Maps `size` bytes of the opened memory; the last step of both ways in.
    bool MapOpened(std::size_t size);

    void* mData = nullptr;
    std::size_t mSize = 0;
    eFailure mFailure = eFailure::None;
    eOrigin mOrigin = eOrigin::Created;
    int mError = 0;
#if defined(_WIN32)
    void* mMapping = nullptr;
#else
    int mFd = -1;
    std::string mUnlinkName;
#endif
};

}  // namespace halvex::platform
