#include "process_probe.h"

#include "platform/child_process.h"
#include "platform/environment.h"
#include "platform/module_location.h"
#include "platform/reader_thread_priority.h"
#include "platform/shared_memory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <process.h>
#endif

namespace {

using namespace halvex::platform;

// Parallel test runs on one machine must not meet in one name.
std::string UniqueName(const char* tag) {
#if defined(_WIN32)
    const long long pid = _getpid();
#else
    const long long pid = getpid();
#endif
    return std::string("HalvexPlatformTest-") + tag + "-" + std::to_string(pid);
}

using halvex::platform::SetEnvironment;

std::string HelperPath() { return ThisModuleFolder() + ExecutableFileName("platform_test_child"); }

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

TEST(SharedMemory, BothSidesSeeOneAnothersWritesByName) {
    const std::string name = UniqueName("shared");
    cSharedMemory creator;
    ASSERT_TRUE(creator.Create(name, 53376)) << creator.LastError();
    ASSERT_EQ(creator.Size(), 53376u);
    cSharedMemory opener;
    ASSERT_TRUE(opener.OpenExisting(name, 53376)) << opener.LastError();
    static_cast<unsigned char*>(creator.Data())[53375] = 0x5A;
    std::memcpy(opener.Data(), "ring", 4);
    EXPECT_EQ(static_cast<unsigned char*>(opener.Data())[53375], 0x5A);
    EXPECT_EQ(std::memcmp(creator.Data(), "ring", 4), 0);

    // A second creator while the first lives: Windows cannot take a name away and
    // shares the memory; POSIX puts memory of its own under the name.
    cSharedMemory again;
    ASSERT_TRUE(again.Create(name, 53376));
#if defined(_WIN32)
    EXPECT_EQ(again.Origin(), cSharedMemory::eOrigin::OpenedExisting);
    EXPECT_EQ(std::memcmp(again.Data(), "ring", 4), 0);
#else
    EXPECT_EQ(again.Origin(), cSharedMemory::eOrigin::ReplacedStale);
    EXPECT_NE(std::memcmp(again.Data(), "ring", 4), 0);
    // The first creator's close leaves the name to the memory it names now.
    creator.Close();
    cSharedMemory later;
    ASSERT_TRUE(later.OpenExisting(name, 53376));
    static_cast<unsigned char*>(again.Data())[7] = 0x33;
    EXPECT_EQ(static_cast<unsigned char*>(later.Data())[7], 0x33);
#endif
}

#if !defined(_WIN32)
// A raw POSIX object of `size` under `name`, as another process would leave it; -1 on failure.
int PreCreate(const std::string& name, off_t size, mode_t mode) {
    const std::string posixName = "/" + name;
    const int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
    if (fd >= 0 && ftruncate(fd, size) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
#endif

TEST(SharedMemory, WhoeverHeldTheNameFirstCannotShrinkTheMemoryUnderItsCreator) {
    const std::string name = UniqueName("precreated");
#if defined(_WIN32)
    // A smaller mapping made first is refused instead of failing, or faulting, later.
    cSharedMemory first;
    ASSERT_TRUE(first.Create(name, 4096));
    cSharedMemory creator;
    EXPECT_FALSE(creator.Create(name, 53376));
    EXPECT_EQ(creator.LastFailure(), cSharedMemory::eFailure::Unsafe);
    EXPECT_EQ(creator.Data(), nullptr);
    first.Close();
    // One of the right size is used, and said to be someone else's.
    ASSERT_TRUE(first.Create(name, 53376));
    ASSERT_TRUE(creator.Create(name, 53376));
    EXPECT_EQ(creator.Origin(), cSharedMemory::eOrigin::OpenedExisting);
#else
    // Left by a process of ours (more open than we make it, smaller): replaced, so
    // that its holder's ftruncate no longer reaches the memory we map.
    const int leftBehind = PreCreate(name, 4096, 0644);
    ASSERT_GE(leftBehind, 0) << errno;
    cSharedMemory creator;
    ASSERT_TRUE(creator.Create(name, 53376)) << creator.LastError();
    EXPECT_EQ(creator.Origin(), cSharedMemory::eOrigin::ReplacedStale);
    ASSERT_EQ(ftruncate(leftBehind, 0), 0);
    close(leftBehind);
    static_cast<volatile unsigned char*>(creator.Data())[53375] = 0x5A;  // a SIGBUS if it had shrunk
    struct stat status {};
    const int named = shm_open(("/" + name).c_str(), O_RDONLY, 0);
    ASSERT_GE(named, 0);
    ASSERT_EQ(fstat(named, &status), 0);
    close(named);
    EXPECT_EQ(status.st_size, 53376);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    creator.Close();

    // Another user's name is neither used nor removed (only root can make one here).
    if (geteuid() != 0) GTEST_SKIP() << "a name of another user needs root to make";
    const int foreign = PreCreate(name, 53376, 0600);
    ASSERT_GE(foreign, 0);
    ASSERT_EQ(fchown(foreign, 65534, 65534), 0);
    EXPECT_FALSE(creator.Create(name, 53376));
    EXPECT_EQ(creator.LastFailure(), cSharedMemory::eFailure::Unsafe);
    cSharedMemory opener;
    EXPECT_TRUE(opener.OpenExisting(name, 53376)) << "the other user's name is still there";
    opener.Close();
    close(foreign);
    shm_unlink(("/" + name).c_str());
#endif
}

TEST(SharedMemory, OpeningAMissingNameFailsAndTheNameGoesWithItsCreator) {
    const std::string name = UniqueName("missing");
    cSharedMemory opener;
    EXPECT_FALSE(opener.OpenExisting(name, 4096));
    EXPECT_EQ(opener.LastFailure(), cSharedMemory::eFailure::Create);
    EXPECT_EQ(opener.Data(), nullptr);
    {
        cSharedMemory creator;
        ASSERT_TRUE(creator.Create(name, 4096));
        EXPECT_TRUE(opener.OpenExisting(name, 4096));
        opener.Close();
    }
    EXPECT_FALSE(opener.OpenExisting(name, 4096));
}

TEST(ChildProcess, EndsAreNoticedReapedAndAMissingProgramIsASpawnFailure) {
    SetEnvironment("HALVEX_TEST_CHILD_SLEEP", "0");
    cChildProcess child;
    EXPECT_TRUE(child.HasEnded());  // nothing runs yet
    ASSERT_TRUE(child.Launch(HelperPath())) << child.LastError();
    const int64_t first = child.ProcessId();
    EXPECT_GT(first, 0);
    EXPECT_TRUE(WaitUntil([&] { return child.HasEnded(); }, 10.0));
    EXPECT_FALSE(halvex::test::ProcessIsAlive(first));

    EXPECT_FALSE(child.Launch(ThisModuleFolder() + ExecutableFileName("no_such_program")));
    EXPECT_EQ(child.LastFailure(), cChildProcess::eFailure::Spawn);
    EXPECT_NE(child.LastError(), 0);
    EXPECT_FALSE(child.Running());
}

TEST(ChildProcess, TerminateEndsARunningChildAndRelaunchWorks) {
    SetEnvironment("HALVEX_TEST_CHILD_SLEEP", "30");
    cChildProcess child;
    ASSERT_TRUE(child.Launch(HelperPath()));
    const int64_t first = child.ProcessId();
    EXPECT_FALSE(child.HasEnded());
    EXPECT_TRUE(halvex::test::ProcessIsAlive(first));
    ASSERT_TRUE(child.Launch(HelperPath()));  // a relaunch ends the previous child
    const int64_t second = child.ProcessId();
    EXPECT_FALSE(halvex::test::ProcessIsAlive(first));
    child.Close();
    EXPECT_TRUE(child.HasEnded());
    EXPECT_FALSE(halvex::test::ProcessIsAlive(second));
    SetEnvironment("HALVEX_TEST_CHILD_SLEEP", "0");
}

TEST(ChildProcess, NeverOutlivesAParentThatDiesWithoutCleaningUp) {
    const std::string pidFile = ThisModuleFolder() + UniqueName("pid") + ".txt";
    std::remove(pidFile.c_str());
    // The helper launches its own long-sleeping child and then ends abruptly; the shell
    // starts it because a launched child gets no arguments.
    const std::string command =
#if defined(_WIN32)
        "\"\"" + HelperPath() + "\" spawn \"" + pidFile + "\" 30\"";
#else
        "'" + HelperPath() + "' spawn '" + pidFile + "' 30";
#endif
    ASSERT_EQ(std::system(command.c_str()), 0);
    long long grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    std::remove(pidFile.c_str());
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(WaitUntil([&] { return !halvex::test::ProcessIsAlive(grandchild); }, 10.0));
}

TEST(ReaderThreadPriority, ReportsWhatItReached) {
    std::thread reader([] {
        const cReaderThreadPriority priority;
        const sReaderPriority& outcome = priority.Outcome();
#if defined(_WIN32)
        EXPECT_TRUE(outcome.classJoined || outcome.classError != 0);
#else
        // Either a real-time class, or the refusal's reason and a nice value no worse than before.
        if (!outcome.timeCritical) {
            EXPECT_NE(outcome.realTimeError, 0);
            EXPECT_LE(outcome.niceValue, 0);
        }
#endif
    });
    reader.join();
}

}  // namespace
