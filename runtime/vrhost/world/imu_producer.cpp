#include "vrhost/world/imu_producer.h"

#include "platform/clock.h"
#include "platform/sleep.h"
#include "platform/thread_name.h"

#include <algorithm>

namespace vrhost {
namespace {

// Streams without a reader are looked at again this often, so a new reader
// waits no longer than this for its first samples.
constexpr double kIdleRecheckSeconds = 0.002;

}  // namespace

cImuProducer::cImuProducer(std::vector<std::shared_ptr<cImuStream>> streams) : mStreams(std::move(streams)) {}

cImuProducer::~cImuProducer() { Stop(); }

void cImuProducer::Start() {
    if (mThread.joinable()) return;
    mStop.store(false);
    mThread = std::thread([this] { ThreadProc(); });
    halvex::platform::NameThread(mThread, "vrhost-imu");
}

void cImuProducer::Stop() {
    mStop.store(true);
    if (mThread.joinable()) mThread.join();
}

void cImuProducer::ThreadProc() {
    while (!mStop.load()) {
        const double now = halvex::platform::NowSeconds();
        double next = now + kIdleRecheckSeconds;
        for (const auto& stream : mStreams) next = std::min(next, stream->Produce(now));
        const double wait = next - halvex::platform::NowSeconds();
        if (wait > 0.0) halvex::platform::SleepFor(wait);
    }
}

}  // namespace vrhost
