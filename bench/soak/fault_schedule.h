// The faults of a soak run and the seeded order they come in: every kind once per
// round, in a shuffled order, with seeded parameters (how long a killed server
// stays down).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace soak {

enum class eFaultKind {
    ServerKilled,         // killed by its process id, restarted after 1-10 s
    ServerSilent,         // streams nothing for 6 s
    AcceptsNeverStreams,  // a server that accepts connections and never streams, for 8 s
    GarbageDatagrams,     // malformed datagrams mixed into the stream
    NanPoseFrames,        // frames with a NaN position
    AbsurdCountFrames,    // frames claiming more rigid bodies than they hold
    ImuGap,               // no IMU samples for 1 s
    ImuTimeBackwards,     // IMU sample times jump 50 ms back
    ImuNotANumber,        // NaN IMU samples
    SecondServer,         // another server on another loopback address, for 8 s
    DeactivateActivate,   // the runtime deactivates the head and activates it again
};

constexpr int kFaultKindCount = 11;

const char* FaultKindName(eFaultKind kind);

struct sFault {
    eFaultKind kind = eFaultKind::ServerKilled;
    double downSeconds = 0.0;  // ServerKilled: how long the server stays down
    int round = 0;
};

class cFaultSchedule {
public:
    // `kinds`: the kinds a round holds; empty: every kind.
    explicit cFaultSchedule(uint32_t seed, std::vector<eFaultKind> kinds = {});
    sFault Next();
    int KindCount() const { return static_cast<int>(mRound.size()); }
    bool Holds(eFaultKind kind) const;

private:
    std::mt19937 mRandom;
    std::vector<eFaultKind> mRound;
    size_t mNext = 0;
    int mRoundNumber = -1;
};

}  // namespace soak
