// The driver's ring reader against the stand-in child's writer, both on one block of
// memory laid out as the mapping is.
#include "devices/oculus_ring_reader.h"
#include "ring_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace halvex::oculus;

// The child's layout is written independently of the driver's records; they must agree.
static_assert(oculus_sim::kMappingSize == sizeof(sOculusSharedMemory));
static_assert(oculus_sim::kReadIndexOffset == offsetof(sOculusSharedMemory, readIndex));
static_assert(oculus_sim::kWriteIndexOffset == offsetof(sOculusSharedMemory, writeIndex));
static_assert(oculus_sim::kSlotsOffset == offsetof(sOculusSharedMemory, slots));
static_assert(oculus_sim::kSlotSize == sizeof(sOculusImuSample));
static_assert(oculus_sim::kSlotCount == kSlotCount);
static_assert(oculus_sim::kOrientationOffset == offsetof(sOculusImuSample, orientation));
static_assert(oculus_sim::kAngularVelocityOffset == offsetof(sOculusImuSample, angularVelocity));
static_assert(oculus_sim::kTimestampOffset == offsetof(sOculusImuSample, timestamp));

oculus_sim::sHeadsetSample Numbered(int64_t number) {
    oculus_sim::sHeadsetSample sample{};
    sample.orientation[3] = 1.0f;
    sample.angularVelocity[0] = static_cast<float>(number % 7);
    sample.timestamp = number;
    return sample;
}

class OculusRing : public ::testing::Test {
protected:
    OculusRing() : mMemory(std::make_unique<sOculusSharedMemory>()), mReader(mMemory.get()) {
        // Whatever a previous user left: the reader's reset makes the ring empty.
        mMemory->readIndex = 77;
        mMemory->writeIndex = 300;
        mReader.ResetIndices();
    }

    std::unique_ptr<sOculusSharedMemory> mMemory;
    cOculusRingReader mReader;
};

TEST_F(OculusRing, FollowsTheWriterAcrossTheWrapWithoutLosingASlot) {
    oculus_sim::cRingWriter writer(mMemory.get());
    EXPECT_FALSE(mReader.HasPending());
    int64_t written = 0, read = 0;
    sOculusImuSample sample;
    // Batches of 200 make both indices pass 511 -> 0 several times at different phases.
    for (int batch = 0; batch < 9; ++batch) {
        for (int i = 0; i < 200; ++i) ASSERT_TRUE(writer.Write(Numbered(written++)));
        EXPECT_TRUE(mReader.HasPending());
        while (mReader.Next(&sample) == cOculusRingReader::eNext::Sample) {
            EXPECT_EQ(sample.timestamp, read);
            EXPECT_EQ(sample.angularVelocity[0], static_cast<float>(read % 7));
            ++read;
        }
        EXPECT_EQ(read, written);
        EXPECT_EQ(mMemory->readIndex, mReader.ReadIndex());
    }
    EXPECT_EQ(mReader.ReadIndex(), static_cast<uint32_t>(1800 % 512));
}

TEST_F(OculusRing, AFullRingHoldsFiveHundredElevenAndTheWriterNeverOvertakes) {
    oculus_sim::cRingWriter writer(mMemory.get());
    for (int i = 0; i < 511; ++i) ASSERT_TRUE(writer.Write(Numbered(i)));
    EXPECT_FALSE(writer.Write(Numbered(511)));
    sOculusImuSample sample;
    ASSERT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Sample);
    EXPECT_EQ(sample.timestamp, 0);
    EXPECT_TRUE(writer.Write(Numbered(511)));
    int count = 0;
    while (mReader.Next(&sample) == cOculusRingReader::eNext::Sample) ++count;
    EXPECT_EQ(count, 511);
    EXPECT_EQ(sample.timestamp, 511);
}

TEST_F(OculusRing, AWriteIndexOutsideTheRingIsAFaultNotARead) {
    oculus_sim::cRingWriter writer(mMemory.get());
    ASSERT_TRUE(writer.Write(Numbered(0)));
    for (const uint32_t bad : {512u, 0x7FFFFFF0u, 0xFFFFFFFFu}) {
        writer.PublishWriteIndex(bad);
        sOculusImuSample sample;
        EXPECT_FALSE(mReader.HasPending());
        EXPECT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::BadIndex);
        EXPECT_TRUE(mReader.Faulted());
        EXPECT_EQ(mReader.LastBadWriteIndex(), bad);
        EXPECT_EQ(mReader.ReadIndex(), 0u);
        // Discarding after a fault starts afresh from an empty ring at slot 0.
        mReader.DiscardPending();
        EXPECT_FALSE(mReader.Faulted());
        EXPECT_EQ(mMemory->writeIndex, 0u);
        EXPECT_EQ(mMemory->readIndex, 0u);
        EXPECT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Empty);
    }
}

TEST_F(OculusRing, UnusableSlotsAreSkippedAndTheRingMovesOn) {
    oculus_sim::cRingWriter writer(mMemory.get());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<oculus_sim::sHeadsetSample> samples(6, Numbered(1));
    samples[0].orientation[3] = 0.0f;  // zero norm
    samples[1].orientation[0] = nan;
    samples[2].orientation[2] = inf;
    samples[3].angularVelocity[1] = nan;
    samples[4].orientation[0] = 3e30f;  // its square overflows
    samples[5] = Numbered(42);
    for (const auto& sample : samples) ASSERT_TRUE(writer.Write(sample));
    sOculusImuSample sample;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Invalid) << i;
    ASSERT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Sample);
    EXPECT_EQ(sample.timestamp, 42);
    EXPECT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Empty);
}

TEST_F(OculusRing, DiscardDropsWhatIsPendingAndARelaunchedWriterContinues) {
    {
        oculus_sim::cRingWriter writer(mMemory.get());
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(writer.Write(Numbered(i)));
    }
    mReader.DiscardPending();
    EXPECT_FALSE(mReader.HasPending());
    oculus_sim::cRingWriter relaunched(mMemory.get());
    EXPECT_EQ(relaunched.WriteIndex(), 30u);
    ASSERT_TRUE(relaunched.Write(Numbered(1000)));
    sOculusImuSample sample;
    ASSERT_EQ(mReader.Next(&sample), cOculusRingReader::eNext::Sample);
    EXPECT_EQ(sample.timestamp, 1000);
}

TEST_F(OculusRing, AChildScribblingOverTheWholeMappingNeverMakesTheReaderLeaveIt) {
    // Random bytes everywhere, the indices included, between reads: every outcome must
    // stay within the ring (the sanitizer builds watch the memory), and each step ends.
    std::mt19937 random(20261208u);
    auto* bytes = reinterpret_cast<unsigned char*>(mMemory.get());
    std::uniform_int_distribution<size_t> offset(0, sizeof(sOculusSharedMemory) - 1);
    std::uniform_int_distribution<uint32_t> index(0, 1024);
    int samples = 0, invalid = 0, faults = 0;
    for (int round = 0; round < 2000; ++round) {
        for (int i = 0; i < 64; ++i) bytes[offset(random)] = static_cast<unsigned char>(random());
        if (round % 3 == 0) mMemory->writeIndex = index(random);  // often inside, sometimes not
        sOculusImuSample sample;
        for (int step = 0; step < 600; ++step) {
            const cOculusRingReader::eNext next = mReader.Next(&sample);
            if (next == cOculusRingReader::eNext::Empty) break;
            if (next == cOculusRingReader::eNext::BadIndex) {
                ++faults;
                mReader.DiscardPending();
                break;
            }
            if (next == cOculusRingReader::eNext::Invalid) ++invalid;
            if (next == cOculusRingReader::eNext::Sample) {
                ++samples;
                EXPECT_TRUE(IsUsableSample(sample));
            }
            ASSERT_LT(mReader.ReadIndex(), kSlotCount);
        }
    }
    EXPECT_GT(samples + invalid, 1000);
    EXPECT_GT(faults, 100);
}

}  // namespace

namespace {

TEST(OculusSampleTime, CounterValuesAtTheEndsOfTheRangeGiveTheRightSignAndAFiniteTime) {
    // The child writes the timestamps: a subtraction of the integers would overflow here.
    constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
    constexpr int64_t kHighest = std::numeric_limits<int64_t>::max();
    const double forward = halvex::oculus::CounterSeconds(kLowest, kHighest, 1e7);
    const double backward = halvex::oculus::CounterSeconds(kHighest, kLowest, 1e7);
    EXPECT_TRUE(std::isfinite(forward));
    EXPECT_GT(forward, 1.8e12);  // 2^64 ticks at 10 MHz
    EXPECT_EQ(backward, -forward);
    EXPECT_DOUBLE_EQ(halvex::oculus::CounterSeconds(1000, 1000 + 2500, 1e7), 2.5e-4);
}

}  // namespace
