// Asynchronous server discovery: probes the configured loopback targets from each
// configured local loopback address and reports every valid answer.
#pragma once

#include "TessalyTypes.h"
#include "datagram_counters.h"
#include "loopback_address.h"
#include "udp_socket.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {

class cServerDiscovery : public std::enable_shared_from_this<cServerDiscovery> {
public:
    cServerDiscovery(TessalyServerDiscoveryCallbackFunc callback, void* userContext);
    ~cServerDiscovery();

    void Start();
    // Returns once no callback can run any more, also from inside the callback.
    void Stop();
    void GetStatistics(sTessalyStatistics* statistics) const;

private:
    struct sLocal {
        uint32_t address = 0;
        net::cUdpSocket socket;
        bool openFailureReported = false;
    };

    void ThreadProc_DiscoveryThread();
    void OpenSockets();
    void SendProbes(uint32_t round);
    void HandleDatagram(const sLocal& local, const uint8_t* data, size_t size, const net::sEndpoint& from,
                        double now);
    bool IsTarget(const net::sEndpoint& endpoint) const;

    const TessalyServerDiscoveryCallbackFunc mCallback;
    void* const mUserContext;
    std::vector<net::sEndpoint> mTargets;
    std::vector<std::unique_ptr<sLocal>> mLocals;  // discovery thread only, after Start
    uint32_t mMaxRounds = 0;
    uint64_t mNonce = 0;
    static constexpr uint32_t kRoundMemory = 8;
    double mProbeSentAt[kRoundMemory] = {};
    std::map<std::pair<uint32_t, uint16_t>, uint32_t> mAnswerCounts;

    std::atomic<bool> mStop{false};
    std::mutex mThreadMutex;  // mThread, which the thread itself may detach
    std::thread mThread;
    cDatagramCounters mCounters;
};

}  // namespace tessaly
