#include "fault_commands.h"

#include "wire_format.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace corvane_sim {

namespace {

constexpr double kMaxSilenceSeconds = 600.0;
constexpr long kMaxCount = 100000;

// Waits up to `seconds`, in short slices so that a stop request ends it.
void Wait(double seconds, const std::atomic<bool>& stop) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!stop.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Half carry a valid header start (magic and version) so they get past the first check.
std::vector<uint8_t> Garbage(std::mt19937& random) {
    std::vector<uint8_t> bytes(4 + random() % 120);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    if (random() % 2 && bytes.size() >= 6) {
        for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(tessaly::wire::kMagic >> (8 * i));
        bytes[4] = static_cast<uint8_t>(tessaly::wire::kProtocolVersion);
        bytes[5] = 0;
    }
    return bytes;
}

}  // namespace

bool RunFaultCommand(const std::string& line, tessaly::server::cMocapServer& server, const std::atomic<bool>& stop,
                     std::string* error) {
    std::istringstream in(line);
    std::string command;
    double amount = 0;
    if (!(in >> command)) return true;  // blank line
    std::string rest;
    if (!(in >> amount) || (in >> rest)) {
        *error = "\"" + line + "\": expected a command and one number";
        return false;
    }
    using eDamage = tessaly::server::cMocapServer::eFrameDamage;
    if (command == "silence") {
        if (!(amount > 0 && amount <= kMaxSilenceSeconds)) {
            *error = "silence: expected 0..600 seconds";
            return false;
        }
        server.PauseStream(true);
        Wait(amount, stop);
        server.PauseStream(false);
        return true;
    }
    if (!(amount >= 1 && amount <= kMaxCount && amount == static_cast<long>(amount))) {
        *error = command + ": expected a count of 1..100000";
        return false;
    }
    const int count = static_cast<int>(amount);
    if (command == "garbage") {
        std::mt19937 random(static_cast<uint32_t>(count));
        for (int i = 0; i < count && !stop.load(); ++i) {
            server.SendRawToClients(Garbage(random));
            Wait(0.004, stop);
        }
    } else if (command == "nan-frames") {
        server.DamageNextFrames(eDamage::NanPose, count);
    } else if (command == "absurd-count") {
        server.DamageNextFrames(eDamage::AbsurdCount, count);
    } else {
        *error = "unknown command \"" + command + "\"";
        return false;
    }
    return true;
}

}  // namespace corvane_sim
