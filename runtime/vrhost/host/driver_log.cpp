#include "vrhost/host/driver_log.h"

#include "vrhost/host/host_error.h"

#include <cstring>

namespace vrhost {

cDriverLog::cDriverLog(size_t captureLimit) : mCaptureLimit(captureLimit) {}

void cDriverLog::OpenFile(const std::filesystem::path& file) {
    std::lock_guard<std::mutex> lock(mMutex);
    mFile.open(file, std::ios::binary | std::ios::trunc);
    if (!mFile) throw cHostError("cannot create log file " + file.u8string());
}

void cDriverLog::SetEcho(std::ostream* echo) {
    std::lock_guard<std::mutex> lock(mMutex);
    mEcho = echo;
}

void cDriverLog::Close() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mFile.is_open()) mFile.close();
}

std::vector<std::string> cDriverLog::Messages() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mMessages;
}

uint64_t cDriverLog::MessageCount() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCount;
}

void cDriverLog::Log(const char* pchLogMessage) {
    if (!pchLogMessage) return;
    const size_t length = std::strlen(pchLogMessage);
    std::lock_guard<std::mutex> lock(mMutex);
    ++mCount;
    if (mMessages.size() < mCaptureLimit) mMessages.emplace_back(pchLogMessage, length);
    if (mFile.is_open()) {
        mFile.write(pchLogMessage, static_cast<std::streamsize>(length));
        // Flushed per message so a crashing driver leaves its last words behind.
        mFile.flush();
    }
    if (mEcho) {
        mEcho->write(pchLogMessage, static_cast<std::streamsize>(length));
        if (length == 0 || pchLogMessage[length - 1] != '\n') mEcho->put('\n');
        mEcho->flush();
    }
}

}  // namespace vrhost
