#include "platform/shared_memory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvex::platform {
namespace {

// POSIX names start with one slash and contain no other.
std::string PosixName(const std::string& name) { return "/" + name; }

}  // namespace

bool cSharedMemory::Fail(eFailure failure, int error) {
    Close();
    mFailure = failure;
    mError = error;
    return false;
}

bool cSharedMemory::CreateOrOpen(const std::string& name, std::size_t size) {
    Close();
    const std::string posixName = PosixName(name);
    mFd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (mFd < 0) return Fail(eFailure::Create, errno);
    mUnlinkName = posixName;
    struct stat status {};
    if (fstat(mFd, &status) != 0) return Fail(eFailure::Create, errno);
    // A name left behind by a process that died may be smaller; never shrink a larger one.
    if (static_cast<std::size_t>(status.st_size) < size && ftruncate(mFd, static_cast<off_t>(size)) != 0)
        return Fail(eFailure::Create, errno);
    return MapOpened(size);
}

bool cSharedMemory::OpenExisting(const std::string& name, std::size_t size) {
    Close();
    mFd = shm_open(PosixName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (mFd < 0) return Fail(eFailure::Create, errno);
    struct stat status {};
    if (fstat(mFd, &status) != 0) return Fail(eFailure::Create, errno);
    if (static_cast<std::size_t>(status.st_size) < size) return Fail(eFailure::Map, EINVAL);
    return MapOpened(size);
}

bool cSharedMemory::MapOpened(std::size_t size) {
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, mFd, 0);
    if (data == MAP_FAILED) return Fail(eFailure::Map, errno);
    mData = data;
    mSize = size;
    mFailure = eFailure::None;
    return true;
}

void cSharedMemory::Close() {
    if (mData) munmap(mData, mSize);
    mData = nullptr;
    mSize = 0;
    if (mFd >= 0) close(mFd);
    mFd = -1;
    if (!mUnlinkName.empty()) shm_unlink(mUnlinkName.c_str());
    mUnlinkName.clear();
}

}  // namespace halvex::platform
