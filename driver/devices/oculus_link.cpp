#include "devices/oculus_link.h"

#include "core/callback_boundary.h"
#include "core/driver_log.h"
#include "devices/oculus_ring_reader.h"
#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/module_location.h"
#include "platform/reader_thread_priority.h"
#include "platform/shared_memory.h"
#include "platform/sleep.h"
#include "platform/thread_name.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace halvex::oculus {
namespace {

constexpr uint32_t kStatisticsEvery = 5000;
// A sample dated further from now than this is a clock fault of the child, not a sample:
// one such date would pull the clock offset's all-time minimum away for the session.
constexpr double kUsableAgeSeconds = 1.0;

cCallbackBoundary gIpcThreadBoundary("the Oculus IPC thread");

void SleepHalfMillisecond() {
    platform::SleepUntil(std::chrono::steady_clock::now() + std::chrono::nanoseconds(500000));
}

void LogPriorityOutcome(const platform::sReaderPriority& outcome) {
#if defined(_WIN32)
    if (!outcome.classJoined)
        DriverLog("Unable to set AVRT thread characteristics (%d).", outcome.classError);
    else if (!outcome.classPriorityRaised)
        DriverLog("Unable to set AVRT thread priority (%d).", outcome.classPriorityError);
#else
    // Unprivileged processes are refused every time: say so once, not per restart.
    static std::atomic<bool> logged{false};
    if (!outcome.timeCritical && !logged.exchange(true))
        DriverLog("IPC thread: real-time scheduling refused (%d); running at nice %d.\n", outcome.realTimeError,
                  outcome.niceValue);
#endif
}

// The launch with its log lines; the failing step decides the message.
bool LaunchChildProcess(platform::cChildProcess& child, const std::string& executable) {
    DriverLog("Invoking Oculus child process with command line: '%s'\n",
              platform::cChildProcess::CommandLineFor(executable).c_str());
    if (child.Launch(executable)) return true;
    using eFailure = platform::cChildProcess::eFailure;
    const int error = child.LastError();
    switch (child.LastFailure()) {
        case eFailure::CreateJob: DriverLog("Could not create job object for child process (%d).", error); break;
        case eFailure::Spawn: DriverLog("Error spawning Oculus child process (%d).\n", error); break;
        case eFailure::AssignToJob: DriverLog("Error adding Oculus child process to job (%d).\n", error); break;
        case eFailure::SetJobLimits: DriverLog("Error setting Oculus child process job limits (%d).\n", error); break;
        case eFailure::Resume: DriverLog("Error resuming suspended Oculus child process (%d).\n", error); break;
        case eFailure::None: break;
    }
    return false;
}

}  // namespace

std::string DefaultChildExecutable() {
    return platform::ThisModuleFolder() + platform::ExecutableFileName("halvex_oculus_subprocess");
}

cOculusLink::cOculusLink(sOculusLinkConfig config) : mConfig(std::move(config)) {}

cOculusLink::~cOculusLink() {
    std::lock_guard<std::mutex> lifecycle(mLifecycleMutex);
    if (mIpcThread.joinable()) {
        mStopIpcThread.store(true);
        mIpcThread.join();
    }
}

bool cOculusLink::ReaderRunning() const { return !mIpcThreadEnded.load(); }

void cOculusLink::Attach(cIChildSampleSink* sink) {
    std::lock_guard<std::mutex> lifecycle(mLifecycleMutex);
    {
        std::lock_guard<std::mutex> lock(mSinkMutex);
        if (std::find(mSinks.begin(), mSinks.end(), sink) == mSinks.end()) mSinks.push_back(sink);
    }
    // A reader that went to clean-up after an error starts over with the next activation.
    if (mIpcThread.joinable() && mIpcThreadEnded.load()) mIpcThread.join();
    if (!mIpcThread.joinable()) {
        mStopIpcThread.store(false);
        mIpcThreadEnded.store(false);
        mIpcThread = std::thread([this] {
            gIpcThreadBoundary.Run([&] { ThreadProc_IpcThread(); });
            // Also after an exception: the next activation must find the reader ended.
            mChildProcessId.store(0);
            mIpcThreadEnded.store(true);
        });
        platform::NameThread(mIpcThread, "halvex-oculus");
    }
}

void cOculusLink::Detach(cIChildSampleSink* sink) {
    std::lock_guard<std::mutex> lifecycle(mLifecycleMutex);
    bool last = false;
    {
        // Samples are handed out under this lock: once it is ours, `sink` is not in use.
        std::lock_guard<std::mutex> lock(mSinkMutex);
        mSinks.erase(std::remove(mSinks.begin(), mSinks.end(), sink), mSinks.end());
        last = mSinks.empty();
    }
    if (last && mIpcThread.joinable()) {
        mStopIpcThread.exchange(true);
        mIpcThread.join();
    }
}

void cOculusLink::Dispatch(const sOculusImuSample& sample, double sampleTime) {
    std::lock_guard<std::mutex> lock(mSinkMutex);
    for (cIChildSampleSink* sink : mSinks) sink->ProcessChildSample(sample, sampleTime);
}

bool cOculusLink::PauseUnlessStopped(double seconds) const {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    while (!mStopIpcThread.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        platform::SleepUntil(std::min(end, now + std::chrono::milliseconds(5)));
    }
    return false;
}

void cOculusLink::ThreadProc_IpcThread() {
    const int64_t frequency = platform::TickFrequency();
    const double frequencyDouble = static_cast<double>(frequency);
    int64_t previousTimestamp = platform::NowTicks();
    const platform::cReaderThreadPriority priority;
    LogPriorityOutcome(priority.Outcome());

    platform::cSharedMemory memory;
    platform::cChildProcess child;
    using eFailure = platform::cSharedMemory::eFailure;
    using eOrigin = platform::cSharedMemory::eOrigin;
    if (!memory.Create(mConfig.mappingName, sizeof(sOculusSharedMemory))) {
        if (memory.LastFailure() == eFailure::Create)
            DriverLog("Could not create file mapping object (%d).\n", memory.LastError());
        else if (memory.LastFailure() == eFailure::Unsafe)
            DriverLog("Shared memory '%s' exists already and belongs to another user or has the wrong size (%d); "
                      "not using it.\n",
                      mConfig.mappingName.c_str(), memory.LastError());
        else
            DriverLog("Could not map shared memory (%d).\n", memory.LastError());
        mIpcThreadEnded.store(true);
        return;
    }
    if (memory.Origin() == eOrigin::OpenedExisting)
        DriverLog("File mapping '%s' existed already (another process made it); using it.\n",
                  mConfig.mappingName.c_str());
    else if (memory.Origin() == eOrigin::ReplacedStale)
        DriverLog("Removed a shared memory '%s' left behind by an earlier process; made it anew.\n",
                  mConfig.mappingName.c_str());
    cOculusRingReader ring(static_cast<sOculusSharedMemory*>(memory.Data()));
    ring.ResetIndices();

    const auto launch = [&]() {
        if (!LaunchChildProcess(child, mConfig.childExecutable)) return false;
        mLaunchCount.fetch_add(1);
        mChildProcessId.store(child.ProcessId());
        return true;
    };

    double maxWait = 0.0, maxAge = 0.0, maxDelta = 0.0;
    bool gapOpen = false;
    int64_t gapStart = 0;
    bool waitingForFirstSample = true;
    bool deliveredSinceLaunch = false;
    bool established = false;
    double relaunchPause = 0.0;
    auto launchedAt = std::chrono::steady_clock::now();
    uint64_t droppedLogged = 0;

    bool running = launch();
    while (running && !mStopIpcThread.load()) {
        bool childLost = child.HasEnded();
        if (!childLost && ring.Faulted()) {
            // A child that publishes an index outside the ring is faulty: end it and start afresh.
            DriverLog("Oculus child process wrote an invalid ring index (%u); restarting it.\n",
                      ring.LastBadWriteIndex());
            child.Terminate();
            childLost = true;
        }
        if (childLost) {
            mChildProcessId.store(0);
            DriverLog("Lost communication with Oculus child process; restarting...\n");
            ring.DiscardPending();
            // A child that dies at once, again and again, is relaunched ever more slowly. Only
            // a launch that delivered a sample proves the child works: one that takes seconds
            // to start and then gives up (no headset) must not be relaunched at full speed.
            const double lived = std::chrono::duration<double>(std::chrono::steady_clock::now() - launchedAt).count();
            if (deliveredSinceLaunch && lived >= mConfig.shortLivedChildSeconds) {
                relaunchPause = 0.0;
            } else {
                relaunchPause = std::clamp(relaunchPause * 2.0, mConfig.firstRelaunchPause, mConfig.longestRelaunchPause);
                DriverLog("Oculus child process ended %s; next launch in %.1f s.\n",
                          deliveredSinceLaunch ? "soon after its start" : "before its first sample", relaunchPause);
            }
            deliveredSinceLaunch = false;
            if (!PauseUnlessStopped(relaunchPause)) break;
            launchedAt = std::chrono::steady_clock::now();
            if (!launch()) {
                DriverLog("Unable to restart Oculus child process.\n");
                break;
            }
            waitingForFirstSample = true;
            gapOpen = false;
        }
        if (waitingForFirstSample) {
            if (!ring.HasPending()) {
                SleepHalfMillisecond();
                continue;
            }
            DriverLog(established ? "IPC re-established with Oculus subprocess.\n"
                                  : "IPC established with Oculus subprocess.\n");
            established = true;
            waitingForFirstSample = false;
            deliveredSinceLaunch = true;
            SleepHalfMillisecond();
            continue;
        }

        sOculusImuSample sample;
        for (;;) {
            const cOculusRingReader::eNext next = ring.Next(&sample);
            if (next == cOculusRingReader::eNext::Empty || next == cOculusRingReader::eNext::BadIndex) break;
            const int64_t now = platform::NowTicks();
            if (gapOpen) {
                maxWait = std::max(maxWait, static_cast<double>(now - gapStart) / frequencyDouble);
                gapOpen = false;
            }
            if (next == cOculusRingReader::eNext::Invalid) {
                if (mDroppedCount.fetch_add(1) == 0)
                    DriverLog("Dropped an Oculus child sample with an unusable orientation.\n");
                continue;
            }
            const double age = CounterSeconds(sample.timestamp, now, frequencyDouble);
            if (!(std::fabs(age) <= kUsableAgeSeconds)) {
                if (mUntimelyCount.fetch_add(1) == 0)
                    DriverLog("Dropped an Oculus child sample dated %.3f s from now; samples dated more than %.1f s "
                              "away are not used.\n",
                              -age, kUsableAgeSeconds);
                continue;
            }
            const double sampleTime = platform::NowSeconds() - age;
            Dispatch(sample, sampleTime);
            const double delta = CounterSeconds(previousTimestamp, sample.timestamp, frequencyDouble);
            previousTimestamp = sample.timestamp;
            maxAge = std::max(maxAge, age);
            maxDelta = std::max(maxDelta, delta);
            if ((mSampleCount.fetch_add(1) + 1) % kStatisticsEvery == 0) {
                DriverLog("Max wait time: %.2lf ms, max pose age %.2lf ms, max delta %.2lf ms\r", maxWait * 1000.0,
                          maxAge * 1000.0, maxDelta * 1000.0);
                maxWait = maxAge = maxDelta = 0.0;
                const uint64_t dropped = mDroppedCount.load();
                if (dropped != droppedLogged) {
                    DriverLog("Dropped %llu Oculus child samples with an unusable orientation so far.\n",
                              static_cast<unsigned long long>(dropped));
                    droppedLogged = dropped;
                }
            }
        }
        if (!gapOpen) {
            gapOpen = true;
            gapStart = platform::NowTicks();
        }
        SleepHalfMillisecond();
    }

    child.Close();  // closing the job ends the child
    mChildProcessId.store(0);
    memory.Close();
    mIpcThreadEnded.store(true);
}

cOculusLink& TheOculusLink() {
    static cOculusLink link(sOculusLinkConfig{DefaultChildExecutable()});
    return link;
}

}  // namespace halvex::oculus
