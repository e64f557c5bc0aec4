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

// Removes `posixName` if this user owns it: a name left by an earlier run of ours, or
// pre-created by a process of our own user, which could do us no more harm than it
// can already. Another user's name is left alone: false.
bool RemoveOwnName(const std::string& posixName) {
    const int fd = shm_open(posixName.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return errno == ENOENT;  // gone meanwhile, or not readable for us: not ours
    struct stat status {};
    const bool ours = fstat(fd, &status) == 0 && status.st_uid == geteuid();
    close(fd);
    return ours && (shm_unlink(posixName.c_str()) == 0 || errno == ENOENT);
}

// True when `posixName` still names the object open as `fd`.
bool NamesThisObject(const std::string& posixName, int fd) {
    const int named = shm_open(posixName.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (named < 0) return false;
    struct stat mine {}, theirs {};
    const bool same = fstat(fd, &mine) == 0 && fstat(named, &theirs) == 0 && mine.st_dev == theirs.st_dev &&
                      mine.st_ino == theirs.st_ino;
    close(named);
    return same;
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
    const std::string posixName = PosixName(name);
    mOrigin = eOrigin::Created;
    mFd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (mFd < 0 && errno == EEXIST) {
        if (!RemoveOwnName(posixName)) return Fail(eFailure::Unsafe, EEXIST);
        mOrigin = eOrigin::ReplacedStale;
        mFd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (mFd < 0) return Fail(eFailure::Create, errno);
    mUnlinkName = posixName;
    // The umask may have taken bits away; the child needs read and write, nobody else anything.
    if (fchmod(mFd, 0600) != 0 || ftruncate(mFd, static_cast<off_t>(size)) != 0) return Fail(eFailure::Create, errno);
    struct stat status {};
    if (fstat(mFd, &status) != 0) return Fail(eFailure::Create, errno);
    if (status.st_uid != geteuid() || (status.st_mode & 0777) != 0600 ||
        static_cast<std::size_t>(status.st_size) != size)
        return Fail(eFailure::Unsafe, EPERM);
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
    // The name may have been taken over since (a later creator replaced it): leave that one be.
    if (!mUnlinkName.empty() && mFd >= 0 && NamesThisObject(mUnlinkName, mFd)) shm_unlink(mUnlinkName.c_str());
    mUnlinkName.clear();
    if (mFd >= 0) close(mFd);
    mFd = -1;
}

}  // namespace halvex::platform
