#include "client_session.h"

#include "bounded_text.h"
#include "discovered_ports.h"
#include "library_clock.h"
#include "library_log.h"
#include "random_token.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace tessaly {

namespace {

constexpr int kConnectTries = 3;
constexpr int kConnectTimeoutMs = 500;
constexpr int kClockSyncExchanges = 8;
constexpr std::chrono::milliseconds kClockSyncWait{500};
constexpr std::chrono::milliseconds kClockSyncAnswerWait{100};
constexpr int kReceiveTimeoutMs = 50;
constexpr double kKeepAlivePeriod = 1.0;
// Keep-alives stop once the server has been silent this long: nothing is sent
// for ever into a port nobody listens on.
constexpr double kServerSilenceLimit = 10.0;
constexpr int kMaxTries = 100;
constexpr int kMaxTimeoutMs = 60000;

cLogThrottle gSessionDropLog;

bool ResolveLoopback(const char* text, const char* role, uint32_t* address) {
    if (text == nullptr || text[0] == '\0') {
        *address = net::kLoopbackAddress;
        return true;
    }
    const std::string value(text, strnlen(text, 64));
    if (!net::ParseIPv4(value, address)) {
        Log(Verbosity_Error, "Invalid %s address \"%s\"", role, value.c_str());
        return false;
    }
    if (!net::IsLoopback(*address)) {
        Log(Verbosity_Error, "Refusing %s address %s: this library talks to loopback addresses only", role,
            value.c_str());
        return false;
    }
    return true;
}

void FillDescription(const wire::sServerInfo& info, const net::sEndpoint& server, bool multicast,
                     sServerDescription* d) {
    *d = sServerDescription{};
    d->bServerPresent = true;
    CopyText(d->szServerName, sizeof d->szServerName, info.name);
    for (int i = 0; i < 4; ++i) d->ServerAddress[i] = static_cast<uint8_t>(server.address >> (24 - 8 * i));
    CopyText(d->szServerApp, sizeof d->szServerApp, info.app);
    std::memcpy(d->ServerAppVersion, info.appVersion, 4);
    d->ProtocolVersion[0] = static_cast<uint8_t>(wire::kProtocolVersion);
    d->ClockFrequency = info.clockFrequency;
    d->bConnectionValid = true;
    d->CommandPort = server.port;
    d->DataPort = server.port;
    d->bMulticast = multicast;
}

}  // namespace

cClientSession::cClientSession() = default;

cClientSession::~cClientSession() {
    // Only reached once the frame thread has let go of its reference.
    if (mThread.joinable()) mThread.detach();
}

std::shared_ptr<cClientSession::sRun> cClientSession::CurrentRun() const {
    std::lock_guard<std::mutex> lock(mRunMutex);
    return mRun;
}

ErrorCode cClientSession::Connect(const sTessalyClientConnectParams& params) {
    std::lock_guard<std::mutex> lifecycle(mLifecycleMutex);
    DisconnectLocked();

    if (params.connectionType != ConnectionType_Multicast && params.connectionType != ConnectionType_Unicast) {
        Log(Verbosity_Error, "Invalid connection type %d", static_cast<int>(params.connectionType));
        return ErrorCode_InvalidArgument;
    }
    const uint8_t* bitstream = params.BitstreamVersion;
    if ((bitstream[0] | bitstream[1] | bitstream[2] | bitstream[3]) != 0 &&
        !(bitstream[0] == wire::kProtocolVersion && bitstream[1] == 0 && bitstream[2] == 0 && bitstream[3] == 0)) {
        Log(Verbosity_Error, "Unsupported bit-stream version %u.%u.%u.%u", bitstream[0], bitstream[1], bitstream[2],
            bitstream[3]);
        return ErrorCode_InvalidArgument;
    }
    uint32_t serverAddress = 0, localAddress = 0;
    if (!ResolveLoopback(params.serverAddress, "server", &serverAddress) ||
        !ResolveLoopback(params.localAddress, "local", &localAddress))
        return ErrorCode_InvalidArgument;
    if (params.multicastAddress != nullptr && params.multicastAddress[0] != '\0')
        Log(Verbosity_Debug, "Multicast group address ignored: multicast streams arrive by loopback unicast");

    auto run = std::make_shared<sRun>();
    run->server.address = serverAddress;
    run->server.port = params.serverCommandPort != 0 ? params.serverCommandPort : ServerPortFor(serverAddress);
    run->token = RandomToken();
    std::string error;
    if (!run->socket.Open(net::sEndpoint{localAddress, 0}, &error)) {
        Log(Verbosity_Error, "Cannot open the client socket: %s", error.c_str());
        return ErrorCode_Network;
    }
    mLocalPort.store(run->socket.LocalEndpoint().port);
    if (!mFrame) mFrame.reset(new sFrameOfMocapData());
    mClock.Reset(0);
    {
        std::lock_guard<std::mutex> lock(mRunMutex);
        mRun = run;
    }
    mThread = std::thread(&cClientSession::ThreadProc_FrameThread, shared_from_this(), run);

    const bool multicast = params.connectionType == ConnectionType_Multicast;
    std::vector<uint8_t> datagram;
    sPending pending;
    pending.sequence = mNextSequence.fetch_add(1);
    pending.expected = wire::eMessageType::ConnectAnswer;
    wire::EncodeConnectRequest(datagram, run->token, pending.sequence, static_cast<uint8_t>(params.connectionType),
                               params.subscribedDataOnly);
    const std::string serverText = net::FormatEndpoint(run->server);
    const eRequestResult sent = Request(*run, datagram, pending, kConnectTries, kConnectTimeoutMs);
    if (sent != eRequestResult::Answered) {
        Log(Verbosity_Error, "No answer from server %s", serverText.c_str());
        DisconnectLocked();
        return ErrorCode_Network;
    }
    if (pending.result != 0) {
        Log(Verbosity_Error, "Server %s refused the connection with code %d", serverText.c_str(), pending.result);
        DisconnectLocked();
        return static_cast<ErrorCode>(pending.result);
    }
    mClock.Reset(pending.serverInfo.clockFrequency);
    if (!SynchroniseClock(*run)) {
        Log(Verbosity_Error, "Server %s did not answer the clock exchange", serverText.c_str());
        DisconnectLocked();
        return ErrorCode_Network;
    }
    {
        std::lock_guard<std::mutex> lock(mDescriptionMutex);
        FillDescription(pending.serverInfo, run->server, multicast, &mDescription);
        mHaveDescription = true;
    }
    Log(Verbosity_Info, "Connected to %s (%s, %s)", serverText.c_str(), pending.serverInfo.name,
        multicast ? "multicast delivered over loopback" : "unicast");
    return ErrorCode_OK;
}

bool cClientSession::SynchroniseClock(sRun& run) {
    // One exchange at a time: answers to a burst queue behind each other and share one
    // scheduling delay, so they would bound the offset no better than a single exchange.
    const auto deadline = std::chrono::steady_clock::now() + kClockSyncWait;
    for (int i = 0; i < kClockSyncExchanges && !run.stop.load(); ++i) {
        SendClockSync(run);
        const auto answerDeadline = std::min(deadline, std::chrono::steady_clock::now() + kClockSyncAnswerWait);
        std::unique_lock<std::mutex> lock(mPendingMutex);
        mPendingCv.wait_until(lock, answerDeadline, [&] { return mClock.ExchangeCount() > i || run.stop.load(); });
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    return mClock.ExchangeCount() > 0 && !run.stop.load();
}

void cClientSession::SendClockSync(sRun& run) {
    std::vector<uint8_t> datagram;
    wire::EncodeClockSyncRequest(datagram, run.token, mNextSequence.fetch_add(1),
                                 static_cast<uint64_t>(NowNanoseconds()));
    run.socket.SendTo(run.server, datagram.data(), datagram.size());
}

cClientSession::eRequestResult cClientSession::Request(sRun& run, const std::vector<uint8_t>& datagram,
                                                       sPending& pending, int tries, int timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(mPendingMutex);
        mPending.push_back(&pending);
    }
    eRequestResult result = eRequestResult::NoAnswer;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (!run.socket.SendTo(run.server, datagram.data(), datagram.size())) {
            result = eRequestResult::SendFailed;
            break;
        }
        std::unique_lock<std::mutex> lock(mPendingMutex);
        const bool done = mPendingCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                              [&] { return pending.answered || run.stop.load(); });
        if (done) {
            result = pending.answered ? eRequestResult::Answered : eRequestResult::Stopped;
            break;
        }
    }
    std::lock_guard<std::mutex> lock(mPendingMutex);
    for (size_t i = 0; i < mPending.size(); ++i) {
        if (mPending[i] == &pending) {
            mPending.erase(mPending.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return result;
}

ErrorCode cClientSession::GetServerDescription(sServerDescription* description) {
    if (description == nullptr) return ErrorCode_InvalidArgument;
    std::lock_guard<std::mutex> lock(mDescriptionMutex);
    if (!mHaveDescription) return ErrorCode_NotConnected;
    *description = mDescription;
    return ErrorCode_OK;
}

ErrorCode cClientSession::SendCommand(const char* request, int tries, int timeoutMs, void** response, int* size) {
    if (response) *response = nullptr;
    if (size) *size = 0;
    if (request == nullptr || response == nullptr || size == nullptr || tries < 1 || tries > kMaxTries ||
        timeoutMs < 1 || timeoutMs > kMaxTimeoutMs)
        return ErrorCode_InvalidArgument;
    std::shared_ptr<sRun> run = CurrentRun();
    if (!run || run->stop.load()) return ErrorCode_NotConnected;
    if (run->frameThread.load() == std::this_thread::get_id()) {
        Log(Verbosity_Error, "Commands cannot be sent from the frame callback");
        return ErrorCode_InvalidOperation;
    }
    std::vector<uint8_t> datagram;
    sPending pending;
    pending.sequence = mNextSequence.fetch_add(1);
    pending.expected = wire::eMessageType::CommandResponse;
    if (!wire::EncodeCommandRequest(datagram, run->token, pending.sequence, request)) {
        Log(Verbosity_Error, "Command refused: empty, longer than %u characters or not printable",
            static_cast<unsigned>(wire::kMaxCommandLength));
        return ErrorCode_InvalidArgument;
    }
    switch (Request(*run, datagram, pending, tries, timeoutMs)) {
        case eRequestResult::Answered: break;
        case eRequestResult::NoAnswer:
            Log(Verbosity_Warning, "Command \"%s\" got no answer after %d tries of %d ms", request, tries, timeoutMs);
            return ErrorCode_Timeout;
        case eRequestResult::Stopped: return ErrorCode_NotConnected;
        case eRequestResult::SendFailed: return ErrorCode_Network;
    }
    if (pending.result != 0) return static_cast<ErrorCode>(pending.result);
    if (!pending.hasResponse) return ErrorCode_OK;
    std::lock_guard<std::mutex> lock(mResponseMutex);
    std::vector<uint8_t>& buffer = mResponses[std::this_thread::get_id()];
    buffer.assign(pending.payload.begin(), pending.payload.end());
    buffer.reserve(1);  // a valid pointer also for an empty response
    *response = buffer.data();
    *size = static_cast<int>(buffer.size());
    return ErrorCode_OK;
}

ErrorCode cClientSession::SetFrameCallback(TessalyFrameCallbackFunc callback, void* userData) {
    std::lock_guard<std::mutex> lock(mCallbackMutex);
    mCallback = callback;
    mCallbackUserData = userData;
    return ErrorCode_OK;
}

double cClientSession::SecondsSince(uint64_t serverTicks) const {
    return mClock.SecondsSince(serverTicks, NowSeconds());
}

ErrorCode cClientSession::Disconnect() {
    std::lock_guard<std::mutex> lifecycle(mLifecycleMutex);
    return DisconnectLocked();
}

ErrorCode cClientSession::DisconnectLocked() {
    std::shared_ptr<sRun> run;
    {
        std::lock_guard<std::mutex> lock(mRunMutex);
        run.swap(mRun);
    }
    if (!run) return ErrorCode_OK;
    std::vector<uint8_t> datagram;
    wire::EncodeDisconnect(datagram, run->token, mNextSequence.fetch_add(1));
    run->socket.SendTo(run->server, datagram.data(), datagram.size());
    {
        std::lock_guard<std::mutex> lock(mPendingMutex);
        run->stop.store(true);
    }
    mPendingCv.notify_all();
    if (mThread.joinable()) {
        // From inside the frame callback the thread cannot be joined; it sees the
        // stop flag as soon as the callback returns and calls nothing more.
        if (mThread.get_id() == std::this_thread::get_id())
            mThread.detach();
        else
            mThread.join();
    }
    {
        std::lock_guard<std::mutex> lock(mDescriptionMutex);
        mHaveDescription = false;
    }
    mClock.Reset(0);
    return ErrorCode_OK;
}

void cClientSession::GetStatistics(sTessalyStatistics* statistics) const {
    mCounters.Fill(statistics, mLocalPort.load());
}

void cClientSession::ThreadProc_FrameThread(std::shared_ptr<sRun> run) {
    run->frameThread.store(std::this_thread::get_id());
    std::vector<uint8_t> buffer(65536);
    double lastHeard = NowSeconds();
    double nextKeepAlive = lastHeard + kKeepAlivePeriod;
    bool silenceReported = false;
    while (!run->stop.load()) {
        size_t size = 0;
        net::sEndpoint from;
        const net::eReceiveResult received =
            run->socket.ReceiveFrom(buffer.data(), buffer.size(), &size, &from, kReceiveTimeoutMs);
        const double now = NowSeconds();
        if (received == net::eReceiveResult::Datagram) {
            HandleDatagram(*run, buffer.data(), size, from, now, &lastHeard);
        } else if (received == net::eReceiveResult::Truncated) {
            mCounters.Received();
            mCounters.Truncated();
        } else if (received == net::eReceiveResult::Error) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kReceiveTimeoutMs));
        }
        if (run->stop.load()) break;
        if (now >= nextKeepAlive) {
            nextKeepAlive = now + kKeepAlivePeriod;
            if (now - lastHeard < kServerSilenceLimit) {
                SendClockSync(*run);
                silenceReported = false;
            } else if (!silenceReported) {
                silenceReported = true;
                Log(Verbosity_Warning, "Server %s silent for %.0f s; keep-alives suspended",
                    net::FormatEndpoint(run->server).c_str(), kServerSilenceLimit);
            }
        }
    }
}

void cClientSession::HandleDatagram(sRun& run, const uint8_t* data, size_t size, const net::sEndpoint& from,
                                    double now, double* lastHeard) {
    mCounters.Received();
    wire::sDatagram datagram;
    const wire::eParseResult parsed = wire::ParseDatagram(data, size, &datagram);
    if (parsed != wire::eParseResult::Ok) {
        mCounters.ParseFailure(parsed);
        if (gSessionDropLog.Allow())
            Log(Verbosity_Warning, "Dropped a datagram from %s: %s", net::FormatEndpoint(from).c_str(),
                wire::ParseResultName(parsed));
        return;
    }
    if (from != run.server || datagram.header.token != run.token) {
        mCounters.UnknownPeer();
        if (gSessionDropLog.Allow())
            Log(Verbosity_Warning, "Dropped a datagram from unknown peer %s", net::FormatEndpoint(from).c_str());
        return;
    }
    *lastHeard = now;
    switch (datagram.header.type) {
        case wire::eMessageType::Frame: DeliverFrame(run, datagram); return;
        case wire::eMessageType::ClockSyncAnswer: {
            {
                std::lock_guard<std::mutex> lock(mPendingMutex);
                mClock.AddExchange(static_cast<double>(static_cast<int64_t>(datagram.clientStamp)) * 1e-9, now,
                                   datagram.serverTicks);
            }
            mPendingCv.notify_all();
            return;
        }
        case wire::eMessageType::ConnectAnswer:
        case wire::eMessageType::CommandResponse: {
            bool matched = false;
            {
                std::lock_guard<std::mutex> lock(mPendingMutex);
                for (sPending* pending : mPending) {
                    if (pending->sequence != datagram.header.sequence || pending->expected != datagram.header.type ||
                        pending->answered)
                        continue;
                    pending->answered = true;
                    pending->result = datagram.result;
                    pending->hasResponse = datagram.hasResponse;
                    pending->payload.assign(datagram.response, datagram.response + datagram.responseSize);
                    pending->serverInfo = datagram.serverInfo;
                    matched = true;
                    break;
                }
            }
            if (matched)
                mPendingCv.notify_all();
            else
                mCounters.Unexpected();  // a late answer to a request that gave up
            return;
        }
        default: mCounters.Unexpected(); return;
    }
}

void cClientSession::DeliverFrame(sRun& run, const wire::sDatagram& datagram) {
    mCounters.Frame();
    TessalyFrameCallbackFunc callback;
    void* userData;
    {
        std::lock_guard<std::mutex> lock(mCallbackMutex);
        callback = mCallback;
        userData = mCallbackUserData;
    }
    if (callback == nullptr || run.stop.load()) return;
    sFrameOfMocapData& frame = *mFrame;
    const wire::sFrameHeader& header = datagram.frame;
    frame.iFrame = static_cast<int32_t>(header.frameNumber & 0x7fffffffu);
    frame.nMarkers = 0;
    frame.nRigidBodies = header.rigidBodyCount;  // at most 1500, far below the capacity
    for (size_t i = 0; i < header.rigidBodyCount; ++i) {
        const wire::sRigidBody body = wire::DecodeRigidBody(datagram, i);
        sRigidBodyData& out = frame.RigidBodies[i];
        out.ID = body.id;
        out.x = body.position[0];
        out.y = body.position[1];
        out.z = body.position[2];
        out.qx = body.orientation[0];
        out.qy = body.orientation[1];
        out.qz = body.orientation[2];
        out.qw = body.orientation[3];
        out.MeanError = body.meanError;
        out.Flags = body.flags;
        out.Reserved = 0;
    }
    frame.Timecode = 0;
    frame.TimecodeSubframe = 0;
    frame.Params = 0;
    const uint64_t frequency = mClock.Frequency();
    frame.fTimestamp = frequency > 0 ? TicksToSeconds(header.transmitTicks, frequency) : 0.0;
    frame.nForcePlates = 0;
    frame.nDevices = 0;
    frame.StreamSequence = datagram.header.sequence;
    frame.CameraMidExposureTimestamp = header.midExposureTicks;
    frame.CameraDataReceivedTimestamp = header.dataReceivedTicks;
    frame.TransmitTimestamp = header.transmitTicks;
    callback(&frame, userData);
    mCounters.Delivered();
}

}  // namespace tessaly
