#include "vrhost/interfaces/io_buffer.h"

#include "platform/clock.h"

namespace vrhost {

bool cIOBuffer::AddStream(std::shared_ptr<cImuStream> stream) {
    if (!stream) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    return mStreams.emplace(stream->Path(), std::move(stream)).second;
}

std::vector<std::shared_ptr<cImuStream>> cIOBuffer::Streams() const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<std::shared_ptr<cImuStream>> streams;
    for (const auto& entry : mStreams) streams.push_back(entry.second);
    return streams;
}

void cIOBuffer::CloseAll() {
    std::lock_guard<std::mutex> lock(mMutex);
    for (const auto& entry : mHandles) entry.second->DetachReader();
    mHandles.clear();
}

void cIOBuffer::RemoveAll() {
    CloseAll();
    std::lock_guard<std::mutex> lock(mMutex);
    mStreams.clear();
}

std::shared_ptr<cImuStream> cIOBuffer::StreamOf(vr::IOBufferHandle_t handle) const {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mHandles.find(handle);
    return found == mHandles.end() ? nullptr : found->second;
}

vr::EIOBufferError cIOBuffer::Open(const char* pchPath, vr::EIOBufferMode mode, uint32_t unElementSize, uint32_t,
                                   vr::IOBufferHandle_t* pulBuffer) {
    if (!pchPath || !pulBuffer) return vr::IOBuffer_InvalidArgument;
    *pulBuffer = vr::k_ulInvalidIOBufferHandle;
    const double now = halvex::platform::NowSeconds();
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mStreams.find(pchPath);
    if (found == mStreams.end() || !found->second->AvailableAt(now)) return vr::IOBuffer_PathDoesNotExist;
    const uint32_t bits = static_cast<uint32_t>(mode);
    if (bits & (vr::IOBufferMode_Write | vr::IOBufferMode_Create)) return vr::IOBuffer_Permission;
    if (!(bits & vr::IOBufferMode_Read)) return vr::IOBuffer_InvalidArgument;
    if (unElementSize != 0 && unElementSize != sizeof(vr::ImuSample_t)) return vr::IOBuffer_InvalidArgument;
    const vr::IOBufferHandle_t handle = mNextHandle++;
    found->second->AttachReader(now);
    mHandles.emplace(handle, found->second);
    *pulBuffer = handle;
    return vr::IOBuffer_Success;
}

vr::EIOBufferError cIOBuffer::Close(vr::IOBufferHandle_t ulBuffer) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mHandles.find(ulBuffer);
    if (found == mHandles.end()) return vr::IOBuffer_InvalidHandle;
    found->second->DetachReader();
    mHandles.erase(found);
    return vr::IOBuffer_Success;
}

vr::EIOBufferError cIOBuffer::Read(vr::IOBufferHandle_t ulBuffer, void* pDst, uint32_t unBytes, uint32_t* punRead) {
    if (punRead) *punRead = 0;
    const std::shared_ptr<cImuStream> stream = StreamOf(ulBuffer);
    if (!stream) return vr::IOBuffer_InvalidHandle;
    if (!pDst || !punRead || unBytes < sizeof(vr::ImuSample_t)) return vr::IOBuffer_InvalidArgument;
    *punRead = stream->Read(pDst, unBytes, halvex::platform::NowSeconds());
    return vr::IOBuffer_Success;
}

vr::EIOBufferError cIOBuffer::Write(vr::IOBufferHandle_t ulBuffer, void*, uint32_t) {
    return StreamOf(ulBuffer) ? vr::IOBuffer_Permission : vr::IOBuffer_InvalidHandle;
}

vr::PropertyContainerHandle_t cIOBuffer::PropertyContainer(vr::IOBufferHandle_t ulBuffer) {
    const std::shared_ptr<cImuStream> stream = StreamOf(ulBuffer);
    return stream ? stream->Container() : vr::k_ulInvalidPropertyContainer;
}

bool cIOBuffer::HasReaders(vr::IOBufferHandle_t ulBuffer) {
    const std::shared_ptr<cImuStream> stream = StreamOf(ulBuffer);
    return stream && stream->HasReaders();
}

}  // namespace vrhost
