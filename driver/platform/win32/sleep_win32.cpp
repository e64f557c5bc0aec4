#include "platform/sleep.h"

#include <windows.h>
#include <timeapi.h>

#include <mutex>
#include <thread>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace halvex::platform {
namespace {

HANDLE CreateTimer(bool highResolution) {
    return CreateWaitableTimerExW(nullptr, nullptr, highResolution ? CREATE_WAITABLE_TIMER_HIGH_RESOLUTION : 0,
                                  TIMER_ALL_ACCESS);
}

// A plain timer wakes on the system tick (~15.6 ms by default). Spinning out the
// rest of a 0.5 ms poll would burn a core at time-critical priority; a 1 ms period
// for the whole process keeps the plain timer within about a millisecond.
void UseOneMillisecondTimerPeriod() {
    static std::once_flag once;
    std::call_once(once, [] { timeBeginPeriod(1); });
}

// One timer per thread: waitable timers are cheap, but creating one per sleep at
// 2 kHz is not. The high-resolution kind (Windows 10 1803+) wakes within ~0.1 ms.
class cThreadTimer {
public:
    cThreadTimer() { Open(SleepIsHighResolution()); }
    ~cThreadTimer() { Close(); }
    cThreadTimer(const cThreadTimer&) = delete;
    cThreadTimer& operator=(const cThreadTimer&) = delete;

    void Open(bool highResolution) {
        Close();
        mHandle = highResolution ? CreateTimer(true) : nullptr;
        mHighResolution = mHandle != nullptr;
        if (!mHandle) {
            mHandle = CreateTimer(false);
            UseOneMillisecondTimerPeriod();
        }
    }
    HANDLE Handle() const { return mHandle; }
    bool HighResolution() const { return mHighResolution; }

private:
    void Close() {
        if (mHandle) CloseHandle(mHandle);
        mHandle = nullptr;
    }

    HANDLE mHandle = nullptr;
    bool mHighResolution = false;
};

cThreadTimer& ThreadTimer() {
    thread_local cThreadTimer timer;
    return timer;
}

}  // namespace

bool SleepIsHighResolution() {
    static const bool available = [] {
        HANDLE probe = CreateTimer(true);
        if (probe) CloseHandle(probe);
        return probe != nullptr;
    }();
    return available;
}

void UseCoarseSleepOnThisThread() { ThreadTimer().Open(false); }

void SleepUntil(std::chrono::steady_clock::time_point wakeTime) {
    using namespace std::chrono;
    const cThreadTimer& timer = ThreadTimer();
    for (;;) {
        const auto remaining = wakeTime - steady_clock::now();
        if (remaining <= steady_clock::duration::zero()) return;
        if (remaining > microseconds(50)) {
            if (timer.Handle()) {
                LARGE_INTEGER due;
                due.QuadPart = -static_cast<LONGLONG>(duration_cast<nanoseconds>(remaining).count() / 100);
                if (due.QuadPart == 0) due.QuadPart = -1;
                if (SetWaitableTimer(timer.Handle(), &due, 0, nullptr, nullptr, FALSE)) {
                    WaitForSingleObject(timer.Handle(), INFINITE);
                    continue;
                }
            }
            // No timer at all: the plain sleep, on the 1 ms period.
            UseOneMillisecondTimerPeriod();
            Sleep(1);
            continue;
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
