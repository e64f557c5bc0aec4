// Stamps each line the driver logs with the run's clock. The soak reads from it when
// the driver last connected (a connection that never streams starts its stale time
// anew); with printing on, every line goes to stdout with its time, so that a fault's
// timeline can be read beside the soak's own lines.
#pragma once

#include <mutex>
#include <streambuf>
#include <string>

namespace soak {

class cLogTimeline final : public std::streambuf {
public:
    using Clock = double (*)();
    cLogTimeline(Clock now, bool print) : mNow(now), mPrint(print) {}

    // When the driver last logged that it connects to a discovered server; < 0: never.
    double LastConnectAttempt() const;

private:
    int overflow(int c) override;

    const Clock mNow;
    const bool mPrint;
    mutable std::mutex mMutex;
    std::string mLine;
    double mLineStart = 0.0;
    double mLastConnectAttempt = -1.0;
};

}  // namespace soak
