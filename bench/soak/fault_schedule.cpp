#include "fault_schedule.h"

#include <algorithm>

namespace soak {

const char* FaultKindName(eFaultKind kind) {
    switch (kind) {
        case eFaultKind::ServerKilled: return "server-killed";
        case eFaultKind::ServerSilent: return "server-silent-6s";
        case eFaultKind::AcceptsNeverStreams: return "accepts-never-streams";
        case eFaultKind::GarbageDatagrams: return "garbage-datagrams";
        case eFaultKind::NanPoseFrames: return "nan-pose-frames";
        case eFaultKind::AbsurdCountFrames: return "absurd-count-frames";
        case eFaultKind::ImuGap: return "imu-gap-1s";
        case eFaultKind::ImuTimeBackwards: return "imu-time-backwards";
        case eFaultKind::ImuNotANumber: return "imu-nan-samples";
        case eFaultKind::SecondServer: return "second-server";
        case eFaultKind::DeactivateActivate: return "deactivate-activate";
    }
    return "?";
}

cFaultSchedule::cFaultSchedule(uint32_t seed, std::vector<eFaultKind> kinds) : mRandom(seed), mRound(std::move(kinds)) {
    if (mRound.empty())
        for (int i = 0; i < kFaultKindCount; ++i) mRound.push_back(static_cast<eFaultKind>(i));
    mNext = mRound.size();
}

bool cFaultSchedule::Holds(eFaultKind kind) const {
    return std::find(mRound.begin(), mRound.end(), kind) != mRound.end();
}

sFault cFaultSchedule::Next() {
    if (mNext == mRound.size()) {
        std::shuffle(mRound.begin(), mRound.end(), mRandom);
        mNext = 0;
        ++mRoundNumber;
    }
    sFault fault;
    fault.kind = mRound[mNext++];
    fault.round = mRoundNumber;
    fault.downSeconds = std::uniform_real_distribution<double>(1.0, 10.0)(mRandom);
    return fault;
}

}  // namespace soak
