#include "recording/record_ring.h"
#include "recording/records.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {

using halvex::cRecordRing;

// Several words per record, so a slot read before it was completely written shows.
struct sSeqRecord {
    uint64_t seq;
    uint64_t copies[7];
};

sSeqRecord MakeSeq(uint64_t seq) {
    sSeqRecord r{seq, {}};
    for (auto& c : r.copies) c = seq * 2654435761u;
    return r;
}

bool IsIntact(const sSeqRecord& r) {
    for (auto c : r.copies) {
        if (c != r.seq * 2654435761u) return false;
    }
    return true;
}

TEST(RecordRing, Holds1023AndRefusesTheNextKeepingItsContents) {
    auto ring = std::make_unique<cRecordRing<int>>();
    EXPECT_TRUE(ring->empty());
    for (int i = 0; i < 1023; ++i) ASSERT_TRUE(ring->push(i)) << i;
    EXPECT_FALSE(ring->push(-1));
    EXPECT_FALSE(ring->push(-2));
    EXPECT_EQ(ring->dropped(), 2u);

    int value = 0;
    ASSERT_TRUE(ring->pop(value));
    EXPECT_EQ(value, 0);
    // One slot freed: exactly one more fits.
    EXPECT_TRUE(ring->push(1023));
    EXPECT_FALSE(ring->push(-3));
    EXPECT_EQ(ring->dropped(), 3u);

    for (int expected = 1; expected <= 1023; ++expected) {
        ASSERT_TRUE(ring->pop(value));
        ASSERT_EQ(value, expected);
    }
    EXPECT_TRUE(ring->empty());
    EXPECT_FALSE(ring->pop(value));
}

TEST(RecordRing, WrapsAroundManyTimesInOrder) {
    // A small ring wraps every few records; uneven batch sizes move the wrap point.
    // At most 2 left over plus a batch of 5 keeps within the capacity of 7.
    cRecordRing<uint32_t, 8> ring;
    uint32_t nextIn = 0, nextOut = 0;
    for (uint32_t round = 0; round < 5000; ++round) {
        const uint32_t batch = 1 + round % 5;
        for (uint32_t i = 0; i < batch; ++i) ASSERT_TRUE(ring.push(nextIn++));
        const uint32_t take = 1 + (round * 3) % batch;
        uint32_t value = 0;
        for (uint32_t i = 0; i < take; ++i) {
            ASSERT_TRUE(ring.pop(value));
            ASSERT_EQ(value, nextOut++);
        }
        while (nextIn - nextOut > 2) {
            ASSERT_TRUE(ring.pop(value));
            ASSERT_EQ(value, nextOut++);
        }
    }
    EXPECT_EQ(ring.dropped(), 0u);
}

TEST(RecordRing, TwoThreadsBelowCapacityLoseNothing) {
    auto ring = std::make_unique<cRecordRing<sSeqRecord>>();
    constexpr uint64_t kTotal = 200000;
    constexpr uint64_t kBurst = 1000;  // below the capacity of 1023
    std::atomic<uint64_t> consumed{0};
    std::atomic<bool> pushFailed{false};

    std::thread producer([&] {
        for (uint64_t seq = 0; seq < kTotal; ++seq) {
            // Keep the ring below capacity: wait until the consumer is within one burst.
            while (seq - consumed.load(std::memory_order_acquire) >= kBurst) std::this_thread::yield();
            if (!ring->push(MakeSeq(seq))) pushFailed = true;
        }
    });

    uint64_t expected = 0;
    bool inOrder = true, intact = true;
    sSeqRecord record{};
    while (expected < kTotal && !pushFailed) {
        if (!ring->pop(record)) {
            std::this_thread::yield();
            continue;
        }
        inOrder &= record.seq == expected;
        intact &= IsIntact(record);
        consumed.store(++expected, std::memory_order_release);
    }
    producer.join();
    EXPECT_FALSE(pushFailed);
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(intact);
    EXPECT_EQ(expected, kTotal);
    EXPECT_EQ(ring->dropped(), 0u);
    EXPECT_TRUE(ring->empty());
}

TEST(RecordRing, OverrunDropsNewRecordsAndCountsThem) {
    // A producer that outruns the consumer: what arrives is in order and intact,
    // and every record is either delivered or counted as dropped.
    auto ring = std::make_unique<cRecordRing<sSeqRecord, 64>>();
    constexpr uint64_t kTotal = 100000;
    std::atomic<bool> done{false};
    uint64_t accepted = 0;

    std::thread producer([&] {
        for (uint64_t seq = 0; seq < kTotal; ++seq) accepted += ring->push(MakeSeq(seq)) ? 1 : 0;
        done.store(true, std::memory_order_release);
    });

    uint64_t received = 0;
    uint64_t last = 0;
    bool inOrder = true, intact = true;
    sSeqRecord record{};
    for (;;) {
        const bool finished = done.load(std::memory_order_acquire);
        if (ring->pop(record)) {
            inOrder &= received == 0 || record.seq > last;
            intact &= IsIntact(record);
            last = record.seq;
            ++received;
        } else if (finished) {
            break;
        }
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(intact);
    EXPECT_EQ(received, accepted);
    EXPECT_EQ(received + ring->dropped(), kTotal);
}

TEST(RecordRing, CarriesFixedSizeTextLinesCutToFit) {
    using sLine = halvex::sTextLine<8>;
    auto ring = std::make_unique<cRecordRing<sLine>>();
    sLine line;
    line.Assign("short");
    ASSERT_TRUE(ring->push(line));
    line.Assign("much longer than eight");
    ASSERT_TRUE(ring->push(line));
    line.Assign("");
    ASSERT_TRUE(ring->push(line));

    sLine out;
    ASSERT_TRUE(ring->pop(out));
    EXPECT_STREQ(out.text, "short");
    ASSERT_TRUE(ring->pop(out));
    EXPECT_STREQ(out.text, "much lo");
    ASSERT_TRUE(ring->pop(out));
    EXPECT_STREQ(out.text, "");
}

}  // namespace
