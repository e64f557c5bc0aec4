// A full session under injected faults, for as long as asked: corvane_sim (a child
// process) streams a head and two controllers at 240 Hz, vrhost hosts the driver
// folder in-process with the simulated Lighthouse headset and recording on, and a
// seeded schedule injects faults one at a time. After each fault the run waits for
// the fused head to send fresh valid poses for 3 s in a row (longer than the 2 s
// the driver holds a pose without optical data). A server fault's recovery counts
// from the later of the server being back and the driver's stale time (5 s without
// a frame since the last frame or connection) having passed. Prints a table; with
// --check it also fails (exit 1) unless every fault recovered, no valid pose was
// non-finite, threads and descriptors did not grow and memory stayed within a bound.
// --only restricts the faults to some kinds; --trace prints the driver's log lines
// with the run's clock beside the soak's own.
//
// The fused head is also judged against the truth outside the faults and their
// recoveries: the table gives its error per minute, and --check fails when the
// error stayed above 10 mm or 2 degrees (--max-error-mm, --max-error-deg) for more
// than 0.5 s (--max-error-seconds). --no-faults runs a fault-free session without
// recording (a long one would fill the disk), --server-delay starts the mocap
// server that long after the driver (the IMU runs alone first), and --hmd and
// --profile pick the headset and the simulated sensors.
//
//   soak [--seconds S] [--seed N] [--check] [--max-rss-growth-mb M] [--tolerate KIND]...
//        [--only KIND]... [--trace] [--no-faults] [--server-delay S]
//        [--hmd lighthouse|holographic] [--profile ideal|realistic]
//        [--max-error-mm MM] [--max-error-deg DEG] [--max-error-seconds S]
#include "fault_schedule.h"
#include "log_timeline.h"
#include "pose_health.h"
#include "process_resources.h"
#include "server_process.h"

#include "platform/clock.h"
#include "sim/sensor_profile.h"
#include "udp_socket.h"
#include "vrhost/host/driver_location.h"
#include "vrhost/host/driver_log.h"
#include "vrhost/host/host.h"
#include "vrhost/host/server_driver_host.h"
#include "vrhost/interfaces/io_buffer.h"
#include "vrhost/world/simulated_world.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRecoveryWindowSeconds = 3.0;
constexpr double kRecoveryTimeoutSeconds = 30.0;
constexpr double kPoseGapSeconds = 0.5;
constexpr double kQuietSecondsBetweenFaults = 1.0;
// The driver's stale time: a connection silent this long is dropped.
constexpr double kStaleSeconds = 5.0;
constexpr int kHeadId = 3, kControllerAId = 4, kControllerBId = 5;
const char kScenario[] = "head-turns";
const char kHeadSerial[] = "halvex-head";

struct sOptions {
    double seconds = 120.0;
    uint32_t seed = 1;
    bool check = false;
    double maxRssGrowthMiB = 64.0;
    std::set<std::string> tolerated;
    std::vector<soak::eFaultKind> only;
    bool trace = false;
    bool faults = true;
    double serverDelaySeconds = 0.0;
    std::string hmd = "lighthouse";
    sim::eSensorProfile profile = sim::eSensorProfile::Ideal;
    soak::sAccuracyBound bound;
};

bool FindKind(const std::string& name, soak::eFaultKind* kind) {
    for (int i = 0; i < soak::kFaultKindCount; ++i) {
        if (name == soak::FaultKindName(static_cast<soak::eFaultKind>(i))) {
            if (kind) *kind = static_cast<soak::eFaultKind>(i);
            return true;
        }
    }
    return false;
}

bool ParseOptions(int argc, char** argv, sOptions* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const bool hasValue = i + 1 < argc;
        if (name == "--seconds" && hasValue) {
            options->seconds = std::atof(argv[++i]);
            if (!(options->seconds > 0.0 && options->seconds <= 86400.0)) return false;
        } else if (name == "--seed" && hasValue) {
            options->seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (name == "--check") {
            options->check = true;
        } else if (name == "--max-rss-growth-mb" && hasValue) {
            options->maxRssGrowthMiB = std::atof(argv[++i]);
        } else if (name == "--tolerate" && hasValue && FindKind(argv[i + 1], nullptr)) {
            options->tolerated.insert(argv[++i]);
        } else if (name == "--only" && hasValue) {
            soak::eFaultKind kind;
            if (!FindKind(argv[++i], &kind)) return false;
            options->only.push_back(kind);
        } else if (name == "--trace") {
            options->trace = true;
        } else if (name == "--no-faults") {
            options->faults = false;
        } else if (name == "--server-delay" && hasValue) {
            options->serverDelaySeconds = std::atof(argv[++i]);
            if (!(options->serverDelaySeconds >= 0.0 && options->serverDelaySeconds <= 3600.0)) return false;
        } else if (name == "--hmd" && hasValue) {
            options->hmd = argv[++i];
            if (options->hmd != "lighthouse" && options->hmd != "holographic") return false;
        } else if (name == "--profile" && hasValue) {
            if (!sim::ParseSensorProfile(argv[++i], options->profile)) return false;
        } else if (name == "--max-error-mm" && hasValue) {
            options->bound.positionMetres = std::atof(argv[++i]) / 1000.0;
            if (!(options->bound.positionMetres > 0.0)) return false;
        } else if (name == "--max-error-deg" && hasValue) {
            options->bound.orientationRadians = std::atof(argv[++i]) * kPi / 180.0;
            if (!(options->bound.orientationRadians > 0.0)) return false;
        } else if (name == "--max-error-seconds" && hasValue) {
            options->bound.seconds = std::atof(argv[++i]);
            if (!(options->bound.seconds > 0.0)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    return std::filesystem::path(path).parent_path().string();
}

// A port free on 127.0.0.1 now, for the servers of this run (kept across restarts).
uint16_t FreeLoopbackPort() {
    tessaly::net::cUdpSocket socket;
    std::string error;
    if (!socket.Open(tessaly::net::sEndpoint{tessaly::net::kLoopbackAddress, 0}, &error)) return 0;
    return socket.LocalEndpoint().port;
}

// The start of the run, for the times the soak prints.
double gRunStart = 0.0;

struct sOutcome {
    int injected = 0;
    int recovered = 0;
    std::vector<double> recoverySeconds;
};

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

class cSoak {
public:
    cSoak(const sOptions& options, const std::filesystem::path& work, uint16_t port)
        : mOptions(options),
          mWork(work),
          mHealth(kHeadSerial, kPoseGapSeconds, options.bound, gRunStart),
          mSchedule(options.seed, options.only),
          mTimeline(&RunClock, options.trace),
          mTimelineStream(&mTimeline) {
        const std::string corvane = ProgramFolder() + "/corvane_sim";
        std::vector<std::string> args = {"--port", std::to_string(port), "--rate", "240", "--latency-ms", "12",
                                         "--profile", sim::SensorProfileName(options.profile), "--duration",
                                         std::to_string(static_cast<int>(options.seconds + options.serverDelaySeconds) + 900)};
        for (int id : {kHeadId, kControllerAId, kControllerBId}) {
            args.push_back("--rigid-body");
            args.push_back(std::to_string(id) + ":" + kScenario);
        }
        auto at = [&](const char* address, std::vector<std::string> extra) {
            std::vector<std::string> all = {"--address", address};
            all.insert(all.end(), args.begin(), args.end());
            all.insert(all.end(), extra.begin(), extra.end());
            return all;
        };
        const std::string log = (work / "corvane_sim.log").string();
        mPrimary = std::make_unique<soak::cServerProcess>(corvane, at("127.0.0.1", {"--control-stdin"}), log);
        mNeverStreams = std::make_unique<soak::cServerProcess>(corvane, at("127.0.0.1", {"--silent"}), log);
        mSecond = std::make_unique<soak::cServerProcess>(corvane, at("127.0.0.2", {}), log);
    }

    int Run() {
        std::string error;
        if (mOptions.serverDelaySeconds == 0.0 && !mPrimary->Start(&error))
            return Fail("cannot start corvane_sim: " + error);
        const std::filesystem::path settings = mWork / "soak.vrsettings";
        {
            std::ofstream out(settings);
            out << "{ \"driver_halvex\": { \"tessalyRigidBodyIdHead\": " << kHeadId
                << ", \"tessalyRigidBodyIdControllerA\": " << kControllerAId
                << ", \"tessalyRigidBodyIdControllerB\": " << kControllerBId
                << ", \"trackingType\": \"Standard\", \"recordRawData\": " << (mOptions.faults ? "true" : "false")
                << " } }\n";
        }
        vrhost::sHostOptions hostOptions;
        hostOptions.settingsFile = settings.string();
        hostOptions.scenario = kScenario;
        hostOptions.poseHistoryLimit = 1000;
        hostOptions.hmdTrackingSystem = mOptions.hmd;
        hostOptions.sensorProfile = mOptions.profile;
        mHost = std::make_unique<vrhost::cHost>(hostOptions);
        mHost->LoadDriver(vrhost::DriverFolderBesideProgram());
        if (mHost->World()) mHealth.SetTruth(&mHost->World()->Truth());
        mHost->ServerDriverHost().SetPoseObserver(&mHealth);
        mHost->DriverLog().SetEcho(&mTimelineStream);
        mHealth.SetAccuracyExcluded(true);  // start-up is a recovery too
        if (mHost->Init() != vr::VRInitError_None) return Fail("the driver's Init failed");
        if (mOptions.serverDelaySeconds > 0.0) {
            mHost->RunFor(mOptions.serverDelaySeconds);
            if (!mPrimary->Start(&error)) return Fail("cannot start corvane_sim: " + error);
        }

        const double started = Now();
        if (!AwaitRecovery(started, nullptr)) return Fail("the head never sent valid poses after start-up");
        mStartResources = soak::MeasureProcessResources();
        mHealth.SetAccuracyExcluded(false);
        std::printf("soak: started in %.1f s; seed %u, %.0f s %s\n", Now() - started, mOptions.seed, mOptions.seconds,
                    mOptions.faults ? "of faults" : "without faults");
        std::fflush(stdout);

        // A checked run goes on until every kind has been injected once.
        const double faultsFrom = Now();
        if (!mOptions.faults) RunFaultFree(faultsFrom);
        while (mOptions.faults &&
               (Now() - faultsFrom < mOptions.seconds || (mOptions.check && CountInjected() < mSchedule.KindCount()))) {
            InjectAndAwait(mSchedule.Next());
            mHost->RunFor(kQuietSecondsBetweenFaults);
        }
        mElapsed = Now() - faultsFrom;
        mEndResources = soak::MeasureProcessResources();
        mHost->Cleanup();
        mHost->DriverLog().SetEcho(nullptr);
        mPrimary->Kill();
        return Report();
    }

private:
    static double Now() { return halvex::platform::NowSeconds(); }
    static double RunClock() { return Now() - gRunStart; }

    int Fail(const std::string& reason) {
        std::fprintf(stderr, "soak: %s\n", reason.c_str());
        return 3;
    }

    int CountInjected() const {
        int n = 0;
        for (const auto& [kind, outcome] : mOutcomes) n += outcome.injected > 0 ? 1 : 0;
        return n;
    }

    bool AwaitRecovery(double faultEnd, double* seconds) {
        double recoveredAt = 0.0;
        while (Now() - faultEnd < kRecoveryTimeoutSeconds) {
            mHost->RunFor(0.1);
            if (mHealth.Recovered(faultEnd, kRecoveryWindowSeconds, Now(), &recoveredAt)) {
                if (seconds) *seconds = recoveredAt - faultEnd;
                return true;
            }
        }
        return false;
    }

    std::shared_ptr<vrhost::cImuStream> HeadImuStream() {
        for (const auto& stream : mHost->IOBuffer().Streams())
            if (stream->Device() == kHeadSerial) return stream;
        return nullptr;
    }

    vr::TrackedDeviceIndex_t HeadIndex() {
        for (const auto& device : mHost->Devices())
            if (device.serial == kHeadSerial) return device.index;
        return vr::k_unTrackedDeviceIndexInvalid;
    }

    // Progress once a minute, so a long session shows it is alive.
    void RunFaultFree(double from) {
        while (Now() - from < mOptions.seconds) {
            mHost->RunFor(std::min(60.0, mOptions.seconds - (Now() - from)));
            const auto minutes = mHealth.AccuracyPerMinute();
            const soak::sMinuteAccuracy last = minutes.empty() ? soak::sMinuteAccuracy{} : minutes.back();
            std::printf("soak: %7.1f s  fault-free, head %.2f mm / %.3f deg RMS this minute, %zu runs above the bound\n",
                        RunClock(), last.positionRmsMm, last.orientationRmsDeg, mHealth.AccuracyViolations().size());
            std::fflush(stdout);
        }
    }

    void InjectAndAwait(const soak::sFault& fault) {
        using soak::eFaultKind;
        mHealth.SetAccuracyExcluded(true);
        using eImuFault = vrhost::cImuStream::eFault;
        std::string error;
        // When the driver last heard from a server before the fault; < 0: not a server fault.
        double silenceFrom = -1.0;
        auto imuFault = [&](eImuFault kind, double amount, double lasts) {
            if (auto stream = HeadImuStream()) stream->InjectFault(kind, Now(), amount);
            mHost->RunFor(lasts);
        };
        switch (fault.kind) {
            case eFaultKind::ServerKilled:
                silenceFrom = Now();
                mPrimary->Kill();
                mHost->RunFor(fault.downSeconds);
                mPrimary->Start(&error);
                break;
            case eFaultKind::ServerSilent:
                silenceFrom = Now();
                mPrimary->Command("silence 6");
                mHost->RunFor(6.0);
                break;
            case eFaultKind::AcceptsNeverStreams:
                silenceFrom = Now();
                mPrimary->Kill();
                mNeverStreams->Start(&error);
                mHost->RunFor(8.0);
                mNeverStreams->Kill();
                // Each connection to the server that never streams starts the stale time anew.
                silenceFrom = std::max(silenceFrom, mTimeline.LastConnectAttempt() + gRunStart);
                mPrimary->Start(&error);
                break;
            case eFaultKind::GarbageDatagrams:
                mPrimary->Command("garbage 250");
                mHost->RunFor(1.0);
                break;
            case eFaultKind::NanPoseFrames:
                mPrimary->Command("nan-frames 240");
                mHost->RunFor(1.0);
                break;
            case eFaultKind::AbsurdCountFrames:
                mPrimary->Command("absurd-count 240");
                mHost->RunFor(1.0);
                break;
            case eFaultKind::ImuGap: imuFault(eImuFault::Gap, 1.0, 1.0); break;
            case eFaultKind::ImuTimeBackwards: imuFault(eImuFault::TimeBackwards, 20, 0.1); break;
            case eFaultKind::ImuNotANumber: imuFault(eImuFault::NotANumber, 20, 0.1); break;
            case eFaultKind::SecondServer:
                mSecond->Start(&error);
                mHost->RunFor(8.0);
                mSecond->Kill();
                break;
            case eFaultKind::DeactivateActivate: {
                const vr::TrackedDeviceIndex_t index = HeadIndex();
                vr::ITrackedDeviceServerDriver* head = mHost->ServerDriverHost().Device(index);
                if (!head) break;
                head->Deactivate();
                mHost->RunFor(0.5);
                head->Activate(index);
                break;
            }
        }
        if (!error.empty()) std::fprintf(stderr, "soak: %s: %s\n", soak::FaultKindName(fault.kind), error.c_str());
        const double faultEnd = Now();
        const double from = silenceFrom < 0.0 ? faultEnd : std::max(faultEnd, silenceFrom + kStaleSeconds);
        if (mOptions.trace)
            std::printf("[%9.3f] soak: %s ended; recovery counts from %.3f\n", faultEnd - gRunStart,
                        soak::FaultKindName(fault.kind), from - gRunStart);
        sOutcome& outcome = mOutcomes[soak::FaultKindName(fault.kind)];
        ++outcome.injected;
        double seconds = 0.0;
        const bool recovered = AwaitRecovery(from, &seconds);
        mHealth.SetAccuracyExcluded(false);
        if (recovered) {
            ++outcome.recovered;
            outcome.recoverySeconds.push_back(seconds);
        }
        std::printf("soak: %7.1f s  %-22s %s", RunClock(), soak::FaultKindName(fault.kind),
                    recovered ? "recovered" : "NOT RECOVERED");
        if (recovered) std::printf(" after %.2f s (%.2f s after the fault's end)", seconds, seconds + from - faultEnd);
        std::printf("\n");
        std::fflush(stdout);
    }

    int Report() {
        uint64_t resets = 0, dropped = 0, recordings = 0;
        for (const std::string& line : mHost->Log()) {
            if (line.find("Resetting filter") != std::string::npos) ++resets;
            const size_t rows = line.find("rows written; ");
            if (rows != std::string::npos) {
                unsigned long long a = 0, b = 0, c = 0;
                if (std::sscanf(line.c_str() + rows, "rows written; %llu, %llu and %llu", &a, &b, &c) == 3) {
                    dropped += a + b + c;
                    ++recordings;
                }
            }
        }
        const soak::sPoseCounts poses = mHealth.Counts();
        bool ok = true;
        if (!mOptions.faults) std::printf("\nsoak: %.0f s without faults, seed %u\n", mElapsed, mOptions.seed);
        if (mOptions.faults) {
        std::printf("\nsoak: %.0f s of faults, seed %u\n\n", mElapsed, mOptions.seed);
        std::printf("%-24s %9s %10s %9s %9s\n", "fault", "injected", "recovered", "p50 s", "max s");
        }
        for (int i = 0; mOptions.faults && i < soak::kFaultKindCount; ++i) {
            if (!mSchedule.Holds(static_cast<soak::eFaultKind>(i))) continue;
            const std::string name = soak::FaultKindName(static_cast<soak::eFaultKind>(i));
            const sOutcome& o = mOutcomes[name];
            const bool tolerated = mOptions.tolerated.count(name) > 0;
            std::printf("%-24s %9d %10d %9.2f %9.2f%s\n", name.c_str(), o.injected, o.recovered,
                        Quantile(o.recoverySeconds, 0.5), Quantile(o.recoverySeconds, 1.0),
                        tolerated && o.recovered < o.injected ? "  (tolerated: not checked)" : "");
            if (!tolerated && (o.recovered < o.injected || o.injected == 0)) ok = false;
        }
        std::printf("\nposes submitted: %llu valid, %llu not valid, %llu valid but non-finite\n",
                    static_cast<unsigned long long>(poses.valid), static_cast<unsigned long long>(poses.notValid),
                    static_cast<unsigned long long>(poses.validNonFinite));
        std::printf("filter resets: %llu\n", static_cast<unsigned long long>(resets));
        ok = ReportAccuracy() && ok;
        std::printf("recording rows dropped: %llu (over %llu recordings)\n", static_cast<unsigned long long>(dropped),
                    static_cast<unsigned long long>(recordings));
        std::printf("\n%-20s %10s %10s\n", "", "start", "end");
        std::printf("%-20s %10.1f %10.1f\n", "resident MiB", mStartResources.residentMiB, mEndResources.residentMiB);
        std::printf("%-20s %10d %10d\n", "threads", mStartResources.threads, mEndResources.threads);
        std::printf("%-20s %10d %10d\n", "open descriptors", mStartResources.openDescriptors,
                    mEndResources.openDescriptors);

        if (!mOptions.check) return 0;
        // A thread or descriptor of a restart in progress may be counted at either end.
        if (poses.validNonFinite > 0) ok = false;
        if (mEndResources.threads > mStartResources.threads + 2) ok = false;
        if (mEndResources.openDescriptors > mStartResources.openDescriptors + 2) ok = false;
        if (mEndResources.residentMiB > mStartResources.residentMiB + mOptions.maxRssGrowthMiB) ok = false;
        std::printf("\nsoak check: %s\n", ok ? "passed" : "FAILED");
        return ok ? 0 : 1;
    }

    // The head's error per minute and the runs above the bound; false if there was one.
    bool ReportAccuracy() const {
        const soak::sAccuracyBound& bound = mOptions.bound;
        std::printf("\nhead against truth (%s, %s), outside faults and their recoveries:\n", mOptions.hmd.c_str(),
                    sim::SensorProfileName(mOptions.profile));
        std::printf("%6s %8s %11s %11s %11s %11s\n", "minute", "poses", "pos RMS mm", "pos max mm", "ori RMS deg",
                    "ori max deg");
        const auto minutes = mHealth.AccuracyPerMinute();
        for (size_t i = 0; i < minutes.size(); ++i) {
            const soak::sMinuteAccuracy& m = minutes[i];
            if (m.judged == 0) {
                std::printf("%6zu %8d %11s %11s %11s %11s\n", i + 1, 0, "-", "-", "-", "-");
                continue;
            }
            std::printf("%6zu %8llu %11.2f %11.2f %11.3f %11.3f\n", i + 1, static_cast<unsigned long long>(m.judged),
                        m.positionRmsMm, m.positionMaxMm, m.orientationRmsDeg, m.orientationMaxDeg);
        }
        const auto violations = mHealth.AccuracyViolations();
        std::printf("above %.1f mm or %.2f deg for more than %.2f s: %zu times", bound.positionMetres * 1000.0,
                    bound.orientationRadians * 180.0 / kPi, bound.seconds, violations.size());
        for (size_t i = 0; i < violations.size() && i < 5; ++i)
            std::printf("%s at %.1f s for %.2f s", i == 0 ? ":" : ",", violations[i].from, violations[i].seconds);
        std::printf("\n");
        return violations.empty();
    }

    const sOptions mOptions;
    const std::filesystem::path mWork;
    soak::cPoseHealth mHealth;
    soak::cFaultSchedule mSchedule;
    soak::cLogTimeline mTimeline;
    std::ostream mTimelineStream;
    std::unique_ptr<soak::cServerProcess> mPrimary, mNeverStreams, mSecond;
    std::unique_ptr<vrhost::cHost> mHost;
    std::map<std::string, sOutcome> mOutcomes;
    soak::sProcessResources mStartResources, mEndResources;
    double mElapsed = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    sOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: soak [--seconds S] [--seed N] [--check] [--max-rss-growth-mb M] [--tolerate KIND]...\n"
                     "            [--only KIND]... [--trace] [--no-faults] [--server-delay S]\n"
                     "            [--hmd lighthouse|holographic] [--profile ideal|realistic]\n"
                     "            [--max-error-mm MM] [--max-error-deg DEG] [--max-error-seconds S]\n");
        return 2;
    }
    // A command to a server that was just killed must not end the run.
    std::signal(SIGPIPE, SIG_IGN);
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("halvex-soak-" + std::to_string(getpid()));
    std::filesystem::create_directories(work);
    // Recordings go to the run's own folder, and discovery looks at this run's servers only.
    setenv("XDG_STATE_HOME", work.string().c_str(), 1);
    const uint16_t port = FreeLoopbackPort();
    const std::string targets = "127.0.0.1:" + std::to_string(port) + ",127.0.0.2:" + std::to_string(port);
    setenv("TESSALY_DISCOVERY_ADDRESSES", targets.c_str(), 1);
    int status;
    gRunStart = halvex::platform::NowSeconds();
    {
        cSoak soak(options, work, port);
        status = soak.Run();
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return status;
}
