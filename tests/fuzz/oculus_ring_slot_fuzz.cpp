// The Oculus child's shared-memory ring as the driver reads it. The input is a
// series of writes into the mapping (2-byte offset, 1-byte length, the bytes), as
// a faulty or hostile child could make them; after each write the ring is drained
// as the link's reader thread does and every sample goes to an Oculus head device.
// Besides not crashing or reading outside the mapping: the read index never leaves
// the ring and is published as kept, only usable samples come out, sample times
// are finite, and the device's corrected orientation stays a finite unit quaternion.
#include "core/device_provider.h"
#include "devices/oculus_device.h"
#include "devices/oculus_link.h"
#include "devices/oculus_ring_reader.h"
#include "fuzz_driver_host.h"
#include "fuzz_target.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

using namespace halvex::oculus;

constexpr const char* kName = "oculus_ring_slots";
// The link takes at most a ring's worth between two sleeps; a drain that goes on
// longer than every slot twice would mean the reader is not advancing.
constexpr int kMaxStepsPerDrain = 2 * static_cast<int>(kSlotCount);

void Require(bool condition, const char* what) {
    if (!condition) halvex::fuzz::Fail(kName, what);
}

class cRingHarness {
public:
    cRingHarness() : mHost(kName), mLink(sOculusLinkConfig{"never-started", "HalvexFuzzRingUnused"}) {
        mProvider.mQpcFrequency = halvex::platform::TickFrequency();
        mProvider.mQpcFrequencyDouble = static_cast<double>(mProvider.mQpcFrequency);
        mProvider.mTrackingType = TrackingType_Standard;
    }

    void Run(const uint8_t* data, size_t size) {
        // A fresh mapping and device per input, so that every finding replays alone.
        auto memory = std::make_unique<sOculusSharedMemory>();
        std::memset(memory.get(), 0, sizeof(*memory));
        cOculusRingReader ring(memory.get());
        ring.ResetIndices();
        cHalvexOculusDevice device(&mProvider, Hmd, "halvex-head", &mLink);
        const double position[3] = {0.0, 1.6, 0.0};
        const double orientation[4] = {0.0, 0.0, 0.0, 1.0};
        device.UpdateOptical(position, orientation, mProvider.DriverTimeNow(), 0.01);

        auto* bytes = reinterpret_cast<uint8_t*>(memory.get());
        size_t at = 0;
        while (at + 3 <= size) {
            const size_t offset = (data[at] | (static_cast<size_t>(data[at + 1]) << 8)) % sizeof(sOculusSharedMemory);
            const size_t length = std::min<size_t>({data[at + 2], size - at - 3, sizeof(sOculusSharedMemory) - offset});
            std::memcpy(bytes + offset, data + at + 3, length);
            at += 3 + length;
            Drain(ring, *memory, device);
        }
    }

private:
    void Drain(cOculusRingReader& ring, const sOculusSharedMemory& memory, cHalvexOculusDevice& device) {
        if (ring.Faulted()) ring.DiscardPending();  // the link ends the child and starts afresh
        for (int step = 0;; ++step) {
            Require(step <= kMaxStepsPerDrain, "the reader keeps finding slots in a ring it should have emptied");
            sOculusImuSample sample;
            const cOculusRingReader::eNext next = ring.Next(&sample);
            Require(ring.ReadIndex() < kSlotCount, "the read index left the ring");
            if (next == cOculusRingReader::eNext::BadIndex) {
                Require(ring.Faulted(), "a bad write index was not remembered");
                return;
            }
            if (next == cOculusRingReader::eNext::Empty) return;
            // A slot was taken: the reader has just published where it stands.
            Require(LoadIndex(memory.readIndex) == ring.ReadIndex(), "the published read index is not the reader's");
            if (next == cOculusRingReader::eNext::Invalid) continue;
            Require(IsUsableSample(sample), "an unusable sample was handed out");
            const int64_t now = halvex::platform::NowTicks();
            const double age = CounterSeconds(sample.timestamp, now, mProvider.mQpcFrequencyDouble);
            Require(std::isfinite(age), "a sample's age is not finite");
            device.ProcessChildSample(sample, halvex::platform::NowSeconds() - age);
            const Eigen::Quaternionf corrected = device.Corrector().CorrectedOrientation();
            Require(corrected.coeffs().allFinite() && std::fabs(corrected.norm() - 1.0f) < 1e-3f,
                    "the corrected orientation is not a finite unit quaternion");
            const vr::DriverPose_t pose = device.GetPose();
            if (pose.poseIsValid)
                for (double v : {pose.qRotation.w, pose.qRotation.x, pose.qRotation.y, pose.qRotation.z,
                                 pose.vecAngularVelocity[0], pose.vecAngularVelocity[1], pose.vecAngularVelocity[2]})
                    Require(std::isfinite(v), "GetPose hands out a non-finite valid pose");
        }
    }

    halvex::fuzz::sFuzzDriverHost mHost;
    cHalvexDeviceProvider mProvider;
    cOculusLink mLink;
};

int FuzzOculusRingSlots(const uint8_t* data, size_t size) {
    static cRingHarness harness;
    harness.Run(data, size);
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(oculus_ring_slots, FuzzOculusRingSlots);
