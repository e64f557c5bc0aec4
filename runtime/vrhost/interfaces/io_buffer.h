// IVRIOBuffer_002: the runtime's named IO buffers, here the read-only IMU streams
// of simulated devices. A path opens only once its stream exists (a stream may be
// set to appear late); each Open gives its own handle, and readers of one stream
// share its queue. Called from any driver thread.
#pragma once

#include "vrhost/world/imu_stream.h"

#include <openvr_driver.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vrhost {

class cIOBuffer final : public vr::IVRIOBuffer {
public:
    // A stream with the same path as an existing one replaces nothing and returns false.
    bool AddStream(std::shared_ptr<cImuStream> stream);
    std::vector<std::shared_ptr<cImuStream>> Streams() const;
    // Forgets every handle (after the driver is gone), detaching their readers.
    void CloseAll();
    // CloseAll, then forgets the streams too (a new session sets up its own).
    void RemoveAll();

    // Read mode on an available stream, element size 0 or 64: a new handle.
    // Unknown or not yet available path: IOBuffer_PathDoesNotExist; write or create
    // on a stream: IOBuffer_Permission (streams belong to the runtime).
    vr::EIOBufferError Open(const char* pchPath, vr::EIOBufferMode mode, uint32_t unElementSize, uint32_t unElements,
                            vr::IOBufferHandle_t* pulBuffer) override;
    vr::EIOBufferError Close(vr::IOBufferHandle_t ulBuffer) override;
    // Whole elements only; a buffer smaller than one element: IOBuffer_InvalidArgument.
    vr::EIOBufferError Read(vr::IOBufferHandle_t ulBuffer, void* pDst, uint32_t unBytes, uint32_t* punRead) override;
    vr::EIOBufferError Write(vr::IOBufferHandle_t ulBuffer, void* pSrc, uint32_t unBytes) override;
    vr::PropertyContainerHandle_t PropertyContainer(vr::IOBufferHandle_t ulBuffer) override;
    bool HasReaders(vr::IOBufferHandle_t ulBuffer) override;

private:
    std::shared_ptr<cImuStream> StreamOf(vr::IOBufferHandle_t handle) const;

    mutable std::mutex mMutex;
    std::map<std::string, std::shared_ptr<cImuStream>> mStreams;
    std::map<vr::IOBufferHandle_t, std::shared_ptr<cImuStream>> mHandles;
    vr::IOBufferHandle_t mNextHandle = 0x10000001ull;
};

}  // namespace vrhost
