#include "platform/clock.h"
#include "platform/sleep.h"
#include "platform/thread_priority.h"
#include "platform/thread_name.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

using namespace halvex::platform;

TEST(Clock, TicksAndSecondsAgreeAndNeverGoBack) {
    ASSERT_GT(TickFrequency(), 0);
    double previous = NowSeconds();
    int64_t previousTicks = NowTicks();
    for (int i = 0; i < 1000; ++i) {
        const double now = NowSeconds();
        const int64_t ticks = NowTicks();
        EXPECT_GE(now, previous);
        EXPECT_GE(ticks, previousTicks);
        previous = now;
        previousTicks = ticks;
    }
    const double fromTicks = static_cast<double>(NowTicks()) / static_cast<double>(TickFrequency());
    EXPECT_NEAR(fromTicks, NowSeconds(), 0.05);
}

TEST(Clock, RunsAtTheRateOfTheSteadyClock) {
    // The simulators stamp with steady_clock-based sleeps; both clocks must advance alike.
    // Each driver-time read is bracketed by steady reads, so a preemption between the two
    // clocks widens the allowed interval instead of failing the test.
    using Steady = std::chrono::steady_clock;
    const auto seconds = [](Steady::duration d) { return std::chrono::duration<double>(d).count(); };
    const auto beforeStart = Steady::now();
    const double start = NowSeconds();
    const auto afterStart = Steady::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto beforeEnd = Steady::now();
    const double end = NowSeconds();
    const auto afterEnd = Steady::now();
    const double elapsed = end - start;
    EXPECT_GE(elapsed, seconds(beforeEnd - afterStart) - 0.002);
    EXPECT_LE(elapsed, seconds(afterEnd - beforeStart) + 0.002);
}

TEST(Sleep, NeverWakesBeforeTheDeadline) {
    for (const double seconds : {0.0005, 0.002, 0.02}) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(seconds));
        SleepUntil(deadline);
        EXPECT_GE(std::chrono::steady_clock::now(), deadline) << seconds;
    }
    const auto before = std::chrono::steady_clock::now();
    SleepFor(0.001);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::microseconds(1000));
}

TEST(Sleep, PastDeadlinesAndNonPositiveDurationsReturnAtOnce) {
    SleepUntil(std::chrono::steady_clock::now() - std::chrono::seconds(5));
    SleepFor(0.0);
    SleepFor(-1.0);
    SUCCEED();
}

double ThreadCpuSeconds() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
#else
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
#endif
}

// The IMU poll sleeps 0.5 ms at time-critical priority: where no high-resolution
// timer exists, spinning out the wait would take a whole core.
TEST(Sleep, ShortSleepsWithoutAHighResolutionTimerDoNotSpin) {
    std::thread sleeper([] {
        UseCoarseSleepOnThisThread();
        const double cpuStart = ThreadCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
            SleepUntil(deadline);
            EXPECT_GE(std::chrono::steady_clock::now(), deadline);
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const double cpu = ThreadCpuSeconds() - cpuStart;
        EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s of " << wall << " s";
    });
    sleeper.join();
}

TEST(ThreadPriority, RefusesAThreadThatIsNotRunning) {
    std::thread none;
    EXPECT_FALSE(SetThreadTimeCritical(none));
    std::thread worker([] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
    SetThreadTimeCritical(worker);  // granted or refused; must not disturb the thread
    worker.join();
}

TEST(ThreadName, AThreadSeesTheNameItWasGivenCutToWhatLinuxKeeps) {
    std::thread none;
    EXPECT_FALSE(NameThread(none, "halvex-none"));
    std::atomic<bool> named{false};
    std::string seen;
    std::thread worker([&] {
        while (!named.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seen = CurrentThreadName();
    });
    const bool accepted = NameThread(worker, "halvex-a-long-thread-name");
    named.store(true);
    worker.join();
#if defined(_WIN32)
    if (!accepted) GTEST_SKIP() << "this Windows offers no thread descriptions";
    EXPECT_EQ(seen, "halvex-a-long-thread-name");
#else
    EXPECT_TRUE(accepted);
    EXPECT_EQ(seen, std::string("halvex-a-long-thread-name").substr(0, kThreadNameLimit));
#endif
}

}  // namespace
