#include "devices/orientation_corrector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Eigen::AngleAxisf;
using Eigen::Quaternionf;
using Eigen::Vector3f;

const Quaternionf kAlignment(0.0f, 0.0f, 1.0f, 0.0f);  // half turn about y

Quaternionf About(const Vector3f& axis, float angle) { return Quaternionf(AngleAxisf(angle, axis.normalized())); }

// Angle between two orientations, whatever the quaternions' signs.
float AngleBetween(const Quaternionf& a, const Quaternionf& b) {
    const float d = std::fabs(a.normalized().coeffs().dot(b.normalized().coeffs()));
    return 2.0f * std::acos(std::min(1.0f, d));
}

TEST(OrientationCorrector, OpticalSamplesBeforeAnyHeadsetSampleOnlyReplaceTheLatestOptical) {
    cOrientationCorrector corrector;
    const Quaternionf optical = About({0, 1, 0}, 0.4f);
    corrector.AddOpticalOrientation(Quaternionf(2.0f * optical.coeffs()), 1.0);  // normalised on the way in
    EXPECT_EQ(corrector.Count(), 0);
    EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), optical), 1e-5f);
    EXPECT_TRUE(corrector.Correction().isApprox(Quaternionf::Identity()));

    // The first headset sample is reported through the still-unset correction ...
    const Quaternionf headset = About({1, 0, 0}, 0.3f);
    corrector.AddImuOrientation(headset, 1.001);
    EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), headset * kAlignment), 1e-5f);
    // ... and the first optical sample after it sets the correction outright.
    corrector.AddOpticalOrientation(optical, 1.002);
    EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), optical), 1e-5f);
}

TEST(OrientationCorrector, CarriesTheOpticalOrientationForwardByTheHeadsetsRotation) {
    cOrientationCorrector corrector;
    // The headset runtime's frame is yawed against the optical one.
    const Quaternionf worldOffset = About({0, 1, 0}, 1.1f);
    const auto opticalOf = [&](const Quaternionf& headset) { return worldOffset * headset * kAlignment; };
    const Quaternionf h0 = About({1, 2, 0}, 0.2f);
    corrector.AddImuOrientation(h0, 0.0);
    corrector.AddOpticalOrientation(opticalOf(h0), 0.0);
    const Quaternionf h1 = About({0, 1, 1}, 0.9f) * h0;
    corrector.AddImuOrientation(h1, 0.01);
    EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), opticalOf(h1)), 1e-4f);
}

TEST(OrientationCorrector, BlendTakesAFractionOfTheWayUnlessAFullStepIsForced) {
    const Quaternionf headset = Quaternionf::Identity();
    const Quaternionf first = About({0, 0, 1}, 0.0f);
    const Quaternionf second = About({0, 0, 1}, 0.8f);
    // Target correction = optical * (headset * alignment)^-1; with an identity headset
    // the step between corrections is the step between the optical orientations.
    {
        cOrientationCorrector corrector;
        corrector.SetBlend(0.25f);
        corrector.AddImuOrientation(headset, 0.0);
        corrector.AddOpticalOrientation(first, 0.0);  // sets outright, whatever the blend
        const Quaternionf start = corrector.Correction();
        corrector.AddOpticalOrientation(second, 0.01);
        EXPECT_NEAR(AngleBetween(corrector.Correction(), start), 0.25f * 0.8f, 1e-4f);
    }
    {
        cOrientationCorrector corrector;
        corrector.SetBlend(0.25f);
        corrector.SetForceFullStep(true);
        corrector.AddImuOrientation(headset, 0.0);
        corrector.AddOpticalOrientation(first, 0.0);
        const Quaternionf start = corrector.Correction();
        // One headset sample only: the blend still applies.
        corrector.AddOpticalOrientation(second, 0.01);
        EXPECT_NEAR(AngleBetween(corrector.Correction(), start), 0.2f, 1e-4f);
        corrector.AddImuOrientation(headset, 0.011);
        // Same time as the previous optical sample: still the blend.
        const Quaternionf beforeSameTime = corrector.Correction();
        corrector.AddOpticalOrientation(second, 0.01);
        EXPECT_NEAR(AngleBetween(corrector.Correction(), beforeSameTime), 0.25f * 0.6f, 1e-3f);
        // Two headset samples and a newer optical sample: the whole way.
        corrector.AddOpticalOrientation(second, 0.02);
        EXPECT_LT(AngleBetween(corrector.Correction() * kAlignment, second), 1e-4f);
    }
}

TEST(OrientationCorrector, QuaternionAndItsNegativeAreTheSameOrientation) {
    const Quaternionf a = About({1, 1, 0}, 0.5f);
    const Quaternionf b = About({0, 1, 1}, 1.2f);
    const Quaternionf minusB(-b.coeffs());
    // The blend goes along the shorter arc whichever sign the target has.
    const Quaternionf viaB = SlerpShorterArc(a, b, 0.5f);
    const Quaternionf viaMinusB = SlerpShorterArc(a, minusB, 0.5f);
    EXPECT_LT(AngleBetween(viaB, viaMinusB), 1e-5f);
    EXPECT_NEAR(AngleBetween(viaB, a), 0.5f * AngleBetween(a, b), 1e-4f);
    // Nearly equal quaternions fall back to a straight mix without dividing by sin 0.
    const Quaternionf nearlyA = SlerpShorterArc(a, a, 0.3f);
    EXPECT_TRUE(nearlyA.coeffs().allFinite());
    EXPECT_LT(AngleBetween(nearlyA, a), 1e-5f);

    cOrientationCorrector plus, minus;
    plus.SetBlend(0.5f);
    minus.SetBlend(0.5f);
    for (cOrientationCorrector* corrector : {&plus, &minus}) {
        const float sign = corrector == &plus ? 1.0f : -1.0f;
        corrector->AddImuOrientation(Quaternionf(sign * a.coeffs()), 0.0);
        corrector->AddOpticalOrientation(Quaternionf(sign * b.coeffs()), 0.0);
        corrector->AddOpticalOrientation(Quaternionf(-sign * a.coeffs()), 0.01);
    }
    EXPECT_LT(AngleBetween(plus.CorrectedOrientation(), minus.CorrectedOrientation()), 1e-4f);
}

TEST(OrientationCorrector, HistoryKeepsTheNewestHundredAcrossTheWrap) {
    cOrientationCorrector corrector;
    const Quaternionf optical = About({0, 1, 0}, 0.3f);
    for (int i = 0; i < 250; ++i) {
        corrector.AddImuOrientation(About({0, 0, 1}, 0.001f * static_cast<float>(i)), 0.001 * i);
        EXPECT_EQ(corrector.Count(), std::min(i + 1, cOrientationCorrector::kHistorySize));
    }
    // The newest entry (index 249) is the one paired and carried forward.
    corrector.AddOpticalOrientation(optical, 0.249);
    EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), optical), 1e-4f);
    corrector.AddImuOrientation(About({0, 0, 1}, 0.250f + 0.2f), 0.250);
    EXPECT_NEAR(AngleBetween(corrector.CorrectedOrientation(), optical), 0.201f, 1e-3f);
}

TEST(OrientationCorrector, PairsEachOpticalSampleWithTheHeadsetAtTheOpticalSamplesOwnTime) {
    // A head turning at 3 rad/s; headset samples every millisecond, optical samples
    // 12.5 ms old when they arrive, between two headset samples.
    const Quaternionf worldOffset = About({0, 1, 0}, 0.7f);
    const auto headsetAt = [](double t) { return About({0, 1, 0}, static_cast<float>(3.0 * t)); };
    const auto opticalAt = [&](double t) { return worldOffset * headsetAt(t) * kAlignment; };
    cOrientationCorrector corrector;
    for (int i = 0; i <= 250; ++i) {
        const double now = 0.001 * i;
        corrector.AddImuOrientation(headsetAt(now), now);
        if (i >= 20 && i % 8 == 0) {
            corrector.AddOpticalOrientation(opticalAt(now - 0.0125), now - 0.0125);
            EXPECT_LT(AngleBetween(corrector.CorrectedOrientation(), opticalAt(now)), 2e-4f) << i;
        }
    }
    // Older than the whole history (samples 151 to 250): the oldest entry stands in.
    corrector.AddOpticalOrientation(opticalAt(0.0), 0.0);
    EXPECT_LT(AngleBetween(corrector.Correction(), worldOffset * About({0, 1, 0}, -3.0f * 0.151f)), 2e-4f);
    EXPECT_TRUE(corrector.CorrectedOrientation().coeffs().allFinite());
}

TEST(OrientationCorrector, ZeroQuaternionsNeverTurnIntoNotANumber) {
    cOrientationCorrector corrector;
    corrector.AddImuOrientation(Quaternionf(0.0f, 0.0f, 0.0f, 0.0f), 0.0);
    corrector.AddOpticalOrientation(About({0, 1, 0}, 0.3f), 0.0);
    EXPECT_TRUE(corrector.Correction().coeffs().allFinite());
    EXPECT_TRUE(corrector.CorrectedOrientation().coeffs().allFinite());
}

}  // namespace
