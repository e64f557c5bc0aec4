#include "platform/sleep.h"

#include <windows.h>

#include <thread>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace halvex::platform {
namespace {

// One timer per thread: waitable timers are cheap, but creating one per sleep at
// 2 kHz is not. The high-resolution kind (Windows 10 1803+) wakes within ~0.1 ms;
// older systems and Wine may refuse it, and then the plain timer plus a short spin
// for the remainder keeps the accuracy.
class cThreadTimer {
public:
    cThreadTimer() {
        mHandle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        mHighResolution = mHandle != nullptr;
        if (!mHandle) mHandle = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ~cThreadTimer() {
        if (mHandle) CloseHandle(mHandle);
    }
    cThreadTimer(const cThreadTimer&) = delete;
    cThreadTimer& operator=(const cThreadTimer&) = delete;

    HANDLE Handle() const { return mHandle; }
    bool HighResolution() const { return mHighResolution; }

private:
    HANDLE mHandle = nullptr;
    bool mHighResolution = false;
};

}  // namespace

void SleepUntil(std::chrono::steady_clock::time_point wakeTime) {
    thread_local cThreadTimer timer;
    using namespace std::chrono;
    // A plain timer may oversleep by a scheduler tick: leave the last 2 ms to spinning.
    const auto spinMargin = timer.HighResolution() ? microseconds(0) : milliseconds(2);
    for (;;) {
        const auto remaining = wakeTime - steady_clock::now();
        if (remaining <= steady_clock::duration::zero()) return;
        const auto timed = remaining - spinMargin;
        if (timer.Handle() && timed > microseconds(50)) {
            LARGE_INTEGER due;
            due.QuadPart = -static_cast<LONGLONG>(duration_cast<nanoseconds>(timed).count() / 100);
            if (due.QuadPart == 0) due.QuadPart = -1;
            if (SetWaitableTimer(timer.Handle(), &due, 0, nullptr, nullptr, FALSE)) {
                WaitForSingleObject(timer.Handle(), INFINITE);
                continue;
            }
        }
        std::this_thread::yield();
    }
}

void SleepFor(double seconds) {
    if (!(seconds > 0.0)) return;
    SleepUntil(std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace halvex::platform
