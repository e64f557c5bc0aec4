#include "fuzz_driver_host.h"

#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "fuzz_target.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halvex::fuzz {

namespace {

bool AllFinite(const double* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

}  // namespace

void cCheckingPoseSink::TrackedDevicePoseUpdated(uint32_t, const vr::DriverPose_t& pose, uint32_t) {
    if (!pose.poseIsValid) return;
    mValidPoses.fetch_add(1, std::memory_order_relaxed);
    const double rotation[4] = {pose.qRotation.w, pose.qRotation.x, pose.qRotation.y, pose.qRotation.z};
    if (!AllFinite(pose.vecPosition, 3) || !AllFinite(rotation, 4) || !AllFinite(pose.vecVelocity, 3) ||
        !AllFinite(pose.vecAngularVelocity, 3) || !std::isfinite(pose.poseTimeOffset))
        Fail(mTarget, "a pose marked valid carries a non-finite number");
}

vr::EIOBufferError cQueuedImuBuffer::Open(const char*, vr::EIOBufferMode mode, uint32_t, uint32_t,
                                          vr::IOBufferHandle_t* handle) {
    if (mode != vr::IOBufferMode_Read || !handle) return vr::IOBuffer_InvalidArgument;
    *handle = 1;
    return vr::IOBuffer_Success;
}

vr::EIOBufferError cQueuedImuBuffer::Read(vr::IOBufferHandle_t, void* destination, uint32_t bytes, uint32_t* read) {
    std::lock_guard<std::mutex> lock(mMutex);
    const size_t count = std::min<size_t>(bytes / sizeof(vr::ImuSample_t), mQueue.size());
    auto* out = static_cast<unsigned char*>(destination);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(out + i * sizeof(vr::ImuSample_t), &mQueue.front(), sizeof(vr::ImuSample_t));
        mQueue.pop_front();
    }
    if (count == 0) mEmptyReads.fetch_add(1);
    if (read) *read = static_cast<uint32_t>(count * sizeof(vr::ImuSample_t));
    return vr::IOBuffer_Success;
}

void cQueuedImuBuffer::Queue(const vr::ImuSample_t& sample) {
    std::lock_guard<std::mutex> lock(mMutex);
    mQueue.push_back(sample);
}

bool cQueuedImuBuffer::Drained() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mQueue.empty();
}

sFuzzDriverHost::sFuzzDriverHost(const char* target) : poses(target) {
    context.mInterfaces[vr::IVRDriverLog_Version] = static_cast<vr::IVRDriverLog*>(&log);
    context.mInterfaces[vr::IVRServerDriverHost_Version] = static_cast<vr::IVRServerDriverHost*>(&poses);
    context.mInterfaces[vr::IVRProperties_Version] = static_cast<vr::IVRProperties*>(&properties);
    context.mInterfaces[vr::IVRIOBuffer_Version] = static_cast<vr::IVRIOBuffer*>(&imu);
    halvex::host::InitServerDriverContext(&context);
    halvex::InstallDriverLogSink(&log);
}

}  // namespace halvex::fuzz
