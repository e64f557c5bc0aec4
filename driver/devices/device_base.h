// What every device class shares: identity, the rigid body it follows, the
// properties it publishes, the pose it starts from and the worker-thread protocol.
#pragma once

#include "devices/halvex_device.h"
#include "platform/thread_name.h"  // every device class names the threads it starts

#include <Eigen/Core>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <string>
#include <thread>

class cHalvexDeviceProvider;

// The pose every device starts from: the optical frame and the runtime's world
// differ by a half turn about the vertical axis.
extern const vr::DriverPose_t sDefaultPose;

// Value of Prop_CurrentUniverseId_Uint64: "HALVEXID" read from the top byte down.
constexpr uint64_t kHalvexUniverseId = 0x48414C5645584944ULL;

class cHalvexDevice_Base : public cIHalvexDevice {
public:
    cHalvexDevice_Base(cHalvexDeviceProvider* provider, eSemantic semantic, const std::string& serial,
                       const char* nameSuffix);
    ~cHalvexDevice_Base() override = default;

    vr::DriverPose_t GetPose() override;
    void EnterStandby() override {}
    void* GetComponent(const char* pchComponentNameAndVersion) override;
    void DebugRequest(const char* pchRequest, char* pchResponseBuffer, uint32_t unResponseBufferSize) override;

    const std::string& GetSerialNumber() const override { return mSerialNumber; }
    const std::string& GetName() const override { return mName; }
    int32_t GetRigidBodyId() const override { return mRigidBodyID.load(std::memory_order_acquire); }
    bool SetRigidBodyId(int32_t id) override;
    sDeviceStatus Status() const override;

    // Device objects are allocated zero-filled; the filter-holding classes also 64-byte aligned.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, std::align_val_t alignment);
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, std::align_val_t alignment) noexcept;

protected:
    // Debug-level gate for diagnostic lines, read at the moment of logging.
    bool DebugLogging(int32_t level = 1) const;
    double DriverTimeNow() const;

    // Stores the ID; when it changed, the pose's connected flag follows it. True when it changed.
    bool ChangeRigidBodyId(int32_t id);

    bool IsActive() const { return mDeviceIndex.load(std::memory_order_acquire) != vr::k_unTrackedDeviceIndexInvalid; }

    // Activation steps shared by every class: the activation line, index and
    // container, the published properties (chaperone and universe only where asked).
    void ActivateCommon(uint32_t unObjectId, const char* activationLine, bool withUniverse);

    // Delivers `pose` unless the device is inactive or the host interface is missing.
    bool SubmitPose(const vr::DriverPose_t& pose) const;

    // Direct optical path, shared by every class that has one. The angular velocity a
    // direct pose reports: zero, unless "predictDirectPoses" is on and the device's own
    // IMU gave `newestRate` (bias removed, IMU frame = the pose's body frame) at
    // `newestTime`, recently enough that the rate still describes the motion.
    Eigen::Vector3d DirectPathAngularVelocity(const Eigen::Vector3d& newestRate, double newestTime, double now) const;
    // With mPoseMutex held: the pose moves to the optical `position` (velocity over the
    // previous direct sample, taken at `previousSampleTime`), carries `angularVelocity`
    // and is dated with the optical sample's own time, not with any IMU sample's: the
    // data is one optical latency old, and the runtime predicts over that age.
    void ApplyDirectSampleLocked(const Eigen::Vector3d& position, double sampleTime, double previousSampleTime,
                                 const Eigen::Vector3d& angularVelocity);

    // Worker-thread protocol: cleared flag, start; atomic exchange, join.
    template <typename Fn>
    void StartImuThread(Fn&& body) {
        mStopImuThread.store(false);
        mImuThread = std::thread(std::forward<Fn>(body));
    }
    void StopImuThread();
    // Called by StopImuThread after the stop flag is set: ends a wait the flag alone cannot.
    virtual void WakeImuThread() {}

    cHalvexDeviceProvider* mProvider;
    std::atomic<int32_t> mRigidBodyID{0};  // read on the frame thread, set on the runtime's
    double mImuStaleSeconds = 0.1;
    double mOpticalHoldSeconds = 2.0;
    double mOpticalStaleSeconds = 2.0;
    int32_t mDebugLevel;
    eSemantic mSemantic;
    std::string mSerialNumber;
    std::string mDevicePath;
    std::string mName;
    std::thread mImuThread;
    std::atomic<bool> mStopImuThread{false};

    vr::DriverPose_t mPose;
    mutable std::mutex mPoseMutex;  // guards mPose
    std::atomic<uint32_t> mDeviceIndex{vr::k_unTrackedDeviceIndexInvalid};
    vr::PropertyContainerHandle_t mPropertyContainer = 0;
    // Whether the last pose handed to the runtime was valid: read without the pose lock.
    mutable std::atomic<bool> mLastSubmittedPoseValid{false};
};

// "/devices/halvex/<serial>", the key of a device in the runtime's "TrackingOverrides".
std::string MakeDevicePath(const std::string& serial);

// The construction lines every class writes after its own ("DebugLevel", "Recording").
void LogCommonConstructionLines(const cHalvexDeviceProvider* provider);
