// Raises the calling thread for a latency-critical reader: on Windows time-critical
// priority inside the "Pro Audio" multimedia class; elsewhere a real-time class where
// the process may use one, otherwise the lowest nice value it is allowed.
// The destructor leaves the multimedia class again; it must run on the same thread.
#pragma once

namespace halvex::platform {

struct sReaderPriority {
    bool timeCritical = false;         // highest thread priority / a real-time class
    bool classJoined = false;          // Windows: "Pro Audio" characteristics set
    int classError = 0;                // ... else the system's error code
    bool classPriorityRaised = false;  // Windows: raised within the class
    int classPriorityError = 0;
    int niceValue = 0;                 // POSIX without a real-time class: the nice value reached
    int realTimeError = 0;             // POSIX: why the real-time class was refused
};

class cReaderThreadPriority {
public:
    cReaderThreadPriority();
    ~cReaderThreadPriority();
    cReaderThreadPriority(const cReaderThreadPriority&) = delete;
    cReaderThreadPriority& operator=(const cReaderThreadPriority&) = delete;

    const sReaderPriority& Outcome() const { return mOutcome; }

private:
    sReaderPriority mOutcome;
    [[maybe_unused]] void* mClassHandle = nullptr;  // Windows: the multimedia class's handle
};

}  // namespace halvex::platform
