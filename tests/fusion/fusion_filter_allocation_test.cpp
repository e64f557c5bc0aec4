// Proves that no filter operation touches the heap, by counting every global
// allocation made while the operations run.
#include "filter_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// clang's ThreadSanitizer runtime is linked statically with its own operator new and
// delete, so there the sanitizer's allocation hook counts instead of replacements.
#if defined(__SANITIZE_THREAD__)
#define HALVEX_COUNT_BY_SANITIZER_HOOK 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HALVEX_COUNT_BY_SANITIZER_HOOK 1
#endif
#endif

#ifdef HALVEX_COUNT_BY_SANITIZER_HOOK
#include <sanitizer/allocator_interface.h>
#endif

namespace {

std::atomic<long> gAllocations{0};

#ifdef HALVEX_COUNT_BY_SANITIZER_HOOK
void CountAllocation(const volatile void*, std::size_t) { ++gAllocations; }
void IgnoreFree(const volatile void*) {}
[[maybe_unused]] const int gHookInstalled = __sanitizer_install_malloc_and_free_hooks(CountAllocation, IgnoreFree);
#else

void* CountedAllocate(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

// Over-allocates and keeps the malloc pointer just below the aligned block.
void* CountedAllocateAligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t align = static_cast<std::size_t>(alignment);
    void* raw = CountedAllocate(size + align + sizeof(void*));
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (start + align - 1) & ~(static_cast<std::uintptr_t>(align) - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void FreeAligned(void* p) {
    if (p != nullptr) std::free(reinterpret_cast<void**>(p)[-1]);
}
#endif

}  // namespace

#ifndef HALVEX_COUNT_BY_SANITIZER_HOOK

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return CountedAllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return CountedAllocateAligned(size, alignment); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
#endif

namespace halvex {
namespace {

TEST(FusionFilterAllocation, CounterSeesHeapUse) {
    const long before = gAllocations.load();
    auto* probe = new cFusionFilter(test::kLighthouseParams);
    EXPECT_GT(gAllocations.load(), before);
    delete probe;
}

TEST(FusionFilterAllocation, NoOperationAllocates) {
    cFusionFilter filter(test::kLighthouseParams);
    double time = 50.0;
    long allocations = 0;
    {
        const long before = gAllocations.load();
        test::AddImu(filter, time);
        for (int i = 0; i < 1200; ++i) {
            time += 0.001;
            test::AddImu(filter, time);
            if (i % 8 == 0) test::AddOptical(filter, time - 0.012);           // split and replay
            if (i % 97 == 0) test::AddOptical(filter, time - 0.0125, 1e-300);  // gated
            if (i % 211 == 0) test::AddOptical(filter, time + 0.0005);        // empties the buffer
            if (i % 331 == 0) test::AddOptical(filter, time - 1.0);           // refused
        }
        cFusionFilter copy = filter;
        copy = cFusionFilter(test::kWmrParams);
        filter.Propagate(copy.mState, copy.mCovariance, Eigen::Vector3d(0, 9.8, 0), Eigen::Vector3d(1, 2, 3), 0.001);
        const Matrix18d noise = filter.ProcessNoise(0.001);
        EXPECT_GT(noise(3, 3), 0.0);
        allocations = gAllocations.load() - before;
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(filter.mLastOpticalTime, 0.0);
}

}  // namespace
}  // namespace halvex
