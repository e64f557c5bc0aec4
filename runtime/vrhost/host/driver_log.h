// IVRDriverLog_001. Each message is kept exactly as given: in the captured list,
// and appended byte for byte to the log file. The echo stream (stdout for the
// program) gets one line per message: a line end is added only when the message
// has none, since drivers often send messages without one. Called from any thread.
#pragma once

#include <openvr_driver.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace vrhost {

class cDriverLog final : public vr::IVRDriverLog {
public:
    explicit cDriverLog(size_t captureLimit);

    // Throws cHostError when the file cannot be created.
    void OpenFile(const std::filesystem::path& file);
    void SetEcho(std::ostream* echo);
    void Close();

    std::vector<std::string> Messages() const;
    uint64_t MessageCount() const;

    void Log(const char* pchLogMessage) override;

private:
    const size_t mCaptureLimit;
    mutable std::mutex mMutex;
    std::vector<std::string> mMessages;
    uint64_t mCount = 0;
    std::ofstream mFile;
    std::ostream* mEcho = nullptr;
};

}  // namespace vrhost
