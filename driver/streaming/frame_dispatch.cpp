// Handing each frame's rigid-body poses to the devices, stamped in driver time.
// Runs on the streaming library's frame thread: no allocation, no lock.
#include "core/callback_boundary.h"
#include "core/device_provider.h"

#include <cmath>

namespace {

halvex::cCallbackBoundary gFrameBoundary("the frame callback");

// Weight of the newest value in the status's running means.
constexpr double kMeanWeight = 0.05;

double RunningMean(double mean, double value) { return mean <= 0.0 ? value : mean + kMeanWeight * (value - mean); }

constexpr int32_t kFrameCapacity =
    static_cast<int32_t>(sizeof(sFrameOfMocapData::RigidBodies) / sizeof(sFrameOfMocapData::RigidBodies[0]));

}  // namespace

void cHalvexDeviceProvider::OnFrameReceived(sFrameOfMocapData* frame, void* userData) {
    auto* provider = static_cast<cHalvexDeviceProvider*>(userData);
    if (!provider) return;
    gFrameBoundary.Run([&] {
        if (provider->mDiscoveryRunning.load() || provider->mDiscovery.load()) provider->EndDiscovery();
        const double arrival = provider->DriverTimeNow();
        provider->mLastFrameTime.store(arrival);
        provider->NoteFrameArrival(arrival);
        if (!frame) return;
        // One device that throws must not cost the others their sample.
        for (cIHalvexDevice* device : {provider->mHeadDevice, provider->mControllerADevice, provider->mControllerBDevice})
            if (device) gFrameBoundary.Run([&] { provider->DispatchRigidBody(device, frame); });
    });
}

void cHalvexDeviceProvider::NoteFrameArrival(double arrival) {
    // One writer, the frame thread: plain loads and stores lose nothing.
    const double start = mFrameWindowStart.load(std::memory_order_relaxed);
    const uint32_t frames = mFramesInWindow.load(std::memory_order_relaxed) + 1;
    const double span = arrival - start;
    if (start <= 0.0 || span < 0.0 || span > 3.0) {
        // The first frame, or the first after a pause: a new window, no rate yet.
        mFrameWindowStart.store(arrival, std::memory_order_relaxed);
        mFramesInWindow.store(0, std::memory_order_relaxed);
        if (span > 3.0) mFrameRate.store(0.0, std::memory_order_relaxed);
        return;
    }
    if (span >= 1.0) {
        mFrameRate.store(frames / span, std::memory_order_relaxed);
        mFrameWindowStart.store(arrival, std::memory_order_relaxed);
        mFramesInWindow.store(0, std::memory_order_relaxed);
        return;
    }
    mFramesInWindow.store(frames, std::memory_order_relaxed);
}

bool cHalvexDeviceProvider::DispatchRigidBody(cIHalvexDevice* device, const sFrameOfMocapData* frame) {
    // The count comes off the network: never trust it past the record's capacity.
    int32_t count = frame->nRigidBodies;
    if (count < 1) return false;
    if (count > kFrameCapacity) count = kFrameCapacity;

    const sRigidBodyData* entry = nullptr;
    for (int32_t i = 0; i < count; ++i) {
        if (frame->RigidBodies[i].ID == device->GetRigidBodyId()) {
            entry = &frame->RigidBodies[i];
            break;
        }
    }
    if (!entry || (entry->Flags & 0x0001) == 0) return false;

    uint64_t ticks = frame->CameraMidExposureTimestamp;
    if (ticks == 0) ticks = frame->CameraDataReceivedTimestamp;
    TessalyClient* client = mClient.load();
    if (!client) return false;
    const double latency = client->SecondsSinceHostTimestamp(ticks);
    if (!(latency >= 0.0)) return false;  // negative, or not a number at all
    // One writer, the frame thread: a plain load and store lose nothing.
    mMeanLatency.store(RunningMean(mMeanLatency.load(std::memory_order_relaxed), latency), std::memory_order_relaxed);

    const double now = DriverTimeNow();
    const double position[3] = {entry->x, entry->y, entry->z};
    double orientation[4] = {entry->qx, entry->qy, entry->qz, entry->qw};
    const double norm2 = orientation[0] * orientation[0] + orientation[1] * orientation[1] +
                         orientation[2] * orientation[2] + orientation[3] * orientation[3];
    if (norm2 > 0.0) {
        const double norm = std::sqrt(norm2);
        for (double& component : orientation) component /= norm;
    }
    device->UpdateOptical(position, orientation, now - latency, latency);
    return true;
}
