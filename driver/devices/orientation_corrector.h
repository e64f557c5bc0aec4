// Turns the headset's own orientation into the optical orientation: the headset
// runtime's orientation is smooth and immediate but has its own frame and drifts in
// yaw; the optical orientation is absolute but late. A correction rotation, renewed
// with every optical sample, maps the one onto the other.
#pragma once

#include <Eigen/Geometry>

#include <array>
#include <cstdint>
#include <mutex>

class cOrientationCorrector {
public:
    static constexpr int32_t kHistorySize = 100;

    cOrientationCorrector();

    // A headset sample (the headset runtime's frame) at `time`, in the optical clock.
    void AddImuOrientation(const Eigen::Quaternionf& orientation, double time);
    // An optical orientation taken at `time`; renews the correction once a headset sample
    // exists, paired with the headset's orientation at that same time.
    void AddOpticalOrientation(const Eigen::Quaternionf& orientation, double time);
    // The newest headset orientation mapped into the optical frame; before any headset
    // sample, the newest optical orientation.
    Eigen::Quaternionf CorrectedOrientation() const;

    void SetBlend(float blend);
    void SetForceFullStep(bool forceFullStep);

    Eigen::Quaternionf Correction() const;
    int32_t Count() const;

private:
    struct sHistoryEntry {
        Eigen::Quaternionf orientation{0.0f, 0.0f, 0.0f, 0.0f};
        double time = 0.0;
    };

    // The aligned headset orientation at `time`, interpolated within the history.
    Eigen::Quaternionf HeadsetOrientationAt(double time) const;

    Eigen::Quaternionf mImuAlignment;
    Eigen::Quaternionf mCorrection;
    Eigen::Quaternionf mLatestOptical;
    float mBlend = 1.0f;
    bool mNeedsInit = true;
    double mLastOpticalTime = -1.0;
    double mLastImuTime = -1.0;
    bool mForceFullStep = false;
    mutable std::recursive_mutex mMutex;
    int32_t mNewest = 0;
    int32_t mCount = 0;
    std::array<sHistoryEntry, kHistorySize> mHistory{};
};

// The spherical interpolation of the corrector: from `from` towards `to` by `fraction`
// along the shorter arc, not renormalised.
Eigen::Quaternionf SlerpShorterArc(const Eigen::Quaternionf& from, const Eigen::Quaternionf& to, float fraction);
