// The thread that fills the IMU streams: each sample is queued as soon as its
// grid time has passed on the shared monotonic clock, never before.
#pragma once

#include "vrhost/world/imu_stream.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace vrhost {

class cImuProducer {
public:
    explicit cImuProducer(std::vector<std::shared_ptr<cImuStream>> streams);
    ~cImuProducer();  // stops the thread
    cImuProducer(const cImuProducer&) = delete;
    cImuProducer& operator=(const cImuProducer&) = delete;

    void Start();
    void Stop();

private:
    void ThreadProc();

    const std::vector<std::shared_ptr<cImuStream>> mStreams;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

}  // namespace vrhost
