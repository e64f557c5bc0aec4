#include "log_timeline.h"

#include <cstdio>

namespace soak {

double cLogTimeline::LastConnectAttempt() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mLastConnectAttempt;
}

int cLogTimeline::overflow(int c) {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    std::lock_guard<std::mutex> lock(mMutex);
    if (mLine.empty()) mLineStart = mNow();
    if (c != '\n') {
        // Lines are short; a runaway one is cut rather than grown without end.
        if (mLine.size() < 4096) mLine.push_back(static_cast<char>(c));
        return c;
    }
    if (mLine.find("auto-connecting") != std::string::npos) mLastConnectAttempt = mLineStart;
    if (mPrint) std::printf("[%9.3f] driver: %s\n", mLineStart, mLine.c_str());
    mLine.clear();
    return c;
}

}  // namespace soak
