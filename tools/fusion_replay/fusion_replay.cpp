#include "fusion_replay.h"

#include "replay_event.h"

#include "fusion/fusion_filter.h"

#include <cstdio>
#include <istream>
#include <ostream>
#include <string>

namespace halvex {
namespace {

// The Lighthouse head's noise model, used until a params line replaces it.
constexpr sFusionFilterParams kDefaultParams{0.1, 0.01, 1e-8, 1e-8};

void AppendNumber(std::string& line, double value) {
    char text[40];
    std::snprintf(text, sizeof text, ",%.17g", value);
    line += text;
}

void WriteStateLine(std::ostream& output, const char* kind, double result, double mahalanobis,
                    const cFusionFilter& filter) {
    std::string line = kind;
    AppendNumber(line, result);
    AppendNumber(line, mahalanobis);
    AppendNumber(line, filter.mLastImuTime);
    AppendNumber(line, filter.mLastOpticalTime);
    AppendNumber(line, filter.mDelayedTime);
    AppendNumber(line, filter.mBufferCount);
    for (int i = 0; i < 19; ++i) AppendNumber(line, filter.mState[i]);
    for (int i = 0; i < 18; ++i) AppendNumber(line, filter.mCovariance(i, i));
    line += '\n';
    output << line;
}

}  // namespace

int RunFusionReplay(std::istream& events, std::ostream& output, std::ostream& errors) {
    cFusionFilter filter(kDefaultParams);
    std::string line;
    long lineNumber = 0;
    while (std::getline(events, line)) {
        ++lineNumber;
        sReplayEvent event;
        std::string reason;
        if (!ParseReplayEvent(line, event, reason)) {
            output.flush();
            errors << "fusion_replay: line " << lineNumber << ": " << reason << "\n";
            return 2;
        }
        const double* v = event.values;
        switch (event.kind) {
        case eReplayEventKind::None:
            break;
        case eReplayEventKind::Params:
            filter = cFusionFilter(sFusionFilterParams{v[0], v[1], v[2], v[3]});
            break;
        case eReplayEventKind::Bias:
            filter.SeedBiases(Eigen::Vector3d(v[0], v[1], v[2]), Eigen::Vector3d(v[3], v[4], v[5]));
            break;
        case eReplayEventKind::Imu: {
            const bool fed = filter.AddImuSample(v + 1, v + 4, v[0]);
            WriteStateLine(output, "imu", fed ? 1.0 : 0.0, 0.0, filter);
            break;
        }
        case eReplayEventKind::Optical: {
            // opt,t,px,py,pz,qx,qy,qz,qw,positionVariance,orientationVariance,gate
            const sFilterUpdateResult result = filter.AddOpticalSample(v + 1, v[8], v + 4, v[9], v[0], v[10]);
            WriteStateLine(output, "opt", result.status, result.mahalanobis, filter);
            break;
        }
        }
    }
    output.flush();
    return 0;
}

}  // namespace halvex
