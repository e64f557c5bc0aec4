#include "random_token.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>

namespace tessaly {

uint64_t RandomToken() {
    static std::mutex mutex;
    static std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t value;
    do value = engine();
    while (value == 0);
    return value;
}

}  // namespace tessaly
