// The fake driver's IMU reader: opens an IO buffer stream from its own thread
// (retrying until it appears), drains it every millisecond as a device driver
// does, and reports what it got when stopped.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class cFakeImuReader {
public:
    explicit cFakeImuReader(std::string path);
    ~cFakeImuReader();  // stops, logs "fake: imu ..." with the counts

private:
    void ThreadProc();

    const std::string mPath;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};
