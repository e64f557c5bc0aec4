// One client connection: the socket, the frame thread, pending commands and the
// clock mapping to the server. Shared-owned so that the frame thread can outlive a
// Disconnect or destruction requested from inside its own callback.
#pragma once

#include "TessalyTypes.h"
#include "datagram_counters.h"
#include "server_clock_mapping.h"
#include "udp_socket.h"
#include "wire_format.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaly {

class cClientSession : public std::enable_shared_from_this<cClientSession> {
public:
    cClientSession();
    ~cClientSession();

    ErrorCode Connect(const sTessalyClientConnectParams& params);
    ErrorCode GetServerDescription(sServerDescription* description);
    ErrorCode SendCommand(const char* request, int tries, int timeoutMs, void** response, int* size);
    ErrorCode SetFrameCallback(TessalyFrameCallbackFunc callback, void* userData);
    double SecondsSince(uint64_t serverTicks) const;
    ErrorCode Disconnect();
    void GetStatistics(sTessalyStatistics* statistics) const;

private:
    // Everything one connection attempt owns; the frame thread keeps it alive.
    struct sRun {
        std::atomic<bool> stop{false};
        std::atomic<std::thread::id> frameThread{};
        net::cUdpSocket socket;
        net::sEndpoint server;
        uint64_t token = 0;
    };
    struct sPending {
        uint32_t sequence = 0;
        wire::eMessageType expected = wire::eMessageType::CommandResponse;
        bool answered = false;
        int32_t result = 0;
        bool hasResponse = false;
        std::vector<uint8_t> payload;
        wire::sServerInfo serverInfo;
    };
    enum class eRequestResult { Answered, NoAnswer, Stopped, SendFailed };

    ErrorCode DisconnectLocked();
    std::shared_ptr<sRun> CurrentRun() const;
    eRequestResult Request(sRun& run, const std::vector<uint8_t>& datagram, sPending& pending, int tries,
                           int timeoutMs);
    bool SynchroniseClock(sRun& run);
    void SendClockSync(sRun& run);

    void ThreadProc_FrameThread(std::shared_ptr<sRun> run);
    void HandleDatagram(sRun& run, const uint8_t* data, size_t size, const net::sEndpoint& from, double now,
                        double* lastHeard);
    void DeliverFrame(sRun& run, const wire::sDatagram& datagram);

    std::mutex mLifecycleMutex;  // Connect / Disconnect
    std::thread mThread;

    mutable std::mutex mRunMutex;
    std::shared_ptr<sRun> mRun;

    std::atomic<uint32_t> mNextSequence{1};

    std::mutex mPendingMutex;
    std::condition_variable mPendingCv;
    std::vector<sPending*> mPending;

    std::mutex mCallbackMutex;
    TessalyFrameCallbackFunc mCallback = nullptr;
    void* mCallbackUserData = nullptr;
    std::unique_ptr<sFrameOfMocapData> mFrame;  // written by the frame thread only

    std::mutex mDescriptionMutex;
    sServerDescription mDescription{};
    bool mHaveDescription = false;

    cServerClockMapping mClock;

    std::mutex mResponseMutex;
    std::map<std::thread::id, std::vector<uint8_t>> mResponses;

    cDatagramCounters mCounters;
    std::atomic<uint16_t> mLocalPort{0};
};

}  // namespace tessaly
