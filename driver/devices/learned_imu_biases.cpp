#include "devices/learned_imu_biases.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace halvex {
namespace {

const char* const kVersionLine = "halvex wmr imu biases 1";
const char* const kGyroKey = "gyroBias";
const char* const kAccelKey = "accelBias";
const char* const kFingerprintKey = "imuCorrectionFingerprint";

uint64_t Mix(uint64_t hash, const double* values, int count) {
    // FNV-1a over the values' bytes: equal doubles, equal hash.
    for (int i = 0; i < count; ++i) {
        unsigned char bytes[sizeof(double)];
        std::memcpy(bytes, &values[i], sizeof bytes);
        for (unsigned char b : bytes) hash = (hash ^ b) * 1099511628211ull;
    }
    return hash;
}

bool ParseVector(const std::string& text, Eigen::Vector3d& v) {
    const char* p = text.c_str();
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        v[i] = std::strtod(p, &end);
        if (end == p) return false;
        p = end;
        if (i < 2) {
            if (*p != ',') return false;
            ++p;
        }
    }
    return *p == '\0';
}

std::string FormatVector(const Eigen::Vector3d& v) {
    char text[96];
    std::snprintf(text, sizeof text, "%.17g,%.17g,%.17g", v.x(), v.y(), v.z());
    return text;
}

}  // namespace

bool LearnedBiasesArePlausible(const Eigen::Vector3d& gyro, const Eigen::Vector3d& accel) {
    return gyro.allFinite() && accel.allFinite() && gyro.cwiseAbs().maxCoeff() <= kMaxPlausibleGyroBias &&
           accel.cwiseAbs().maxCoeff() <= kMaxPlausibleAccelBias;
}

uint64_t ImuCorrectionFingerprint(const sDeviceCalibration& c) {
    uint64_t hash = 14695981039346656037ull;
    hash = Mix(hash, c.gyroCorrection.data(), 9);
    hash = Mix(hash, c.accelCorrection.data(), 9);
    hash = Mix(hash, c.gyroBias.data(), 3);
    return Mix(hash, c.accelBias.data(), 3);
}

std::string LearnedBiasFileName(const std::string& serial) {
    if (serial.empty()) return {};
    std::string name = "wmr_imu_biases_";
    for (char c : serial) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        name += plain ? c : '_';
    }
    return name + ".txt";
}

std::string FormatLearnedBiases(const sLearnedImuBiases& biases) {
    char fingerprint[32];
    std::snprintf(fingerprint, sizeof fingerprint, "%016" PRIx64, biases.correctionFingerprint);
    return std::string(kVersionLine) + "\n" + kGyroKey + "=" + FormatVector(biases.gyro) + "\n" + kAccelKey + "=" +
           FormatVector(biases.accel) + "\n" + kFingerprintKey + "=" + fingerprint + "\n";
}

bool ParseLearnedBiases(const std::string& text, sLearnedImuBiases& biases, std::string& reason) {
    std::stringstream in(text);
    std::string line;
    if (!std::getline(in, line)) line.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != kVersionLine) {
        reason = "the first line is not \"" + std::string(kVersionLine) + "\"";
        return false;
    }
    sLearnedImuBiases parsed;
    bool gyro = false, accel = false, fingerprint = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        bool ok;
        if (key == kGyroKey) {
            ok = !gyro && ParseVector(value, parsed.gyro);
            gyro = true;
        } else if (key == kAccelKey) {
            ok = !accel && ParseVector(value, parsed.accel);
            accel = true;
        } else if (key == kFingerprintKey) {
            char* end = nullptr;
            parsed.correctionFingerprint = std::strtoull(value.c_str(), &end, 16);
            ok = !fingerprint && value.size() == 16 && end == value.c_str() + value.size();
            fingerprint = true;
        } else {
            ok = false;
        }
        if (!ok) {
            reason = "unusable line \"" + line + "\"";
            return false;
        }
    }
    if (!gyro || !accel || !fingerprint) {
        reason = std::string("no ") + (!gyro ? kGyroKey : !accel ? kAccelKey : kFingerprintKey) + " line";
        return false;
    }
    if (!LearnedBiasesArePlausible(parsed.gyro, parsed.accel)) {
        reason = "a bias is not finite or larger than any IMU's";
        return false;
    }
    biases = parsed;
    return true;
}

bool FilterHasLearnedBiases(const cFusionFilter& filter, double fusedSeconds, const sBiasLearningCriteria& criteria) {
    if (!(fusedSeconds >= criteria.minFusedSeconds)) return false;
    const Eigen::Vector3d gyro = filter.mState.segment<3>(FusionState_GyroBias);
    const Eigen::Vector3d accel = filter.mState.segment<3>(FusionState_AccelBias);
    if (!LearnedBiasesArePlausible(gyro, accel)) return false;
    const double accelLimit = criteria.maxVarianceFraction * cFusionFilter::InitialAccelBiasVariance(filter.mParams);
    const double gyroLimit = criteria.maxVarianceFraction * cFusionFilter::InitialGyroBiasVariance(filter.mParams);
    for (int i = 0; i < 3; ++i) {
        // Negated comparisons: a NaN variance has learned nothing either.
        if (!(filter.mCovariance(9 + i, 9 + i) <= accelLimit)) return false;
        if (!(filter.mCovariance(12 + i, 12 + i) <= gyroLimit)) return false;
    }
    return true;
}

}  // namespace halvex
