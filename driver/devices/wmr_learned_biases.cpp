// The WMR head's learned IMU biases across sessions: a headset's interface offers
// no factory biases, so without them every session would learn its own from zero.
#include "devices/wmr_device.h"

#include "core/device_provider.h"
#include "core/driver_log.h"
#include "core/host_interfaces.h"
#include "core/property_access.h"
#include "platform/files.h"
#include "platform/known_folders.h"

#include <cerrno>
#include <cstdio>

namespace {

// False with errno's meaning when the file cannot be read whole.
bool ReadWholeFile(const std::string& path, std::string& text, int& error) {
    std::FILE* file = halvex::platform::OpenFile(path, "rb");
    if (!file) {
        error = errno;
        return false;
    }
    text.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    const bool ok = !std::ferror(file);
    error = ok ? 0 : EIO;
    std::fclose(file);
    return ok;
}

std::string HeadsetSerial() {
    vr::IVRProperties* properties = halvex::host::Properties();
    if (!properties) return {};
    const vr::PropertyContainerHandle_t hmd = properties->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndex_Hmd);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const std::string serial = halvex::properties::ReadString(hmd, vr::Prop_SerialNumber_String, &error);
    return error == vr::TrackedProp_Success ? serial : std::string();
}

}  // namespace

void cHalvexWmrDevice::LoadLearnedBiases() {
    mLearnedBiasFile.clear();
    if (!ImuFeedsPose()) return;
    const std::string serial = HeadsetSerial();
    const std::string folder = halvex::platform::DriverStateFolder();
    if (serial.empty() || folder.empty()) {
        DriverLog("%s: %s: IMU biases start from zero and are not kept\n", mName.c_str(),
                  serial.empty() ? "the headset has no serial number" : "the system names no state folder");
        return;
    }
    mLearnedBiasFile = folder + halvex::LearnedBiasFileName(serial);
    const uint64_t fingerprint = halvex::ImuCorrectionFingerprint(mNewestCalibration.Get());
    halvex::sLearnedImuBiases stored;
    std::string text, reason;
    int error = 0;
    bool usable = false;
    if (!ReadWholeFile(mLearnedBiasFile, text, error)) {
        if (error == ENOENT)
            DriverLog("%s: no IMU biases kept for headset %s yet ('%s'): they start from zero\n", mName.c_str(),
                      serial.c_str(), mLearnedBiasFile.c_str());
        else
            DriverLog("%s: the IMU biases in '%s' cannot be read (error %d): they start from zero\n", mName.c_str(),
                      mLearnedBiasFile.c_str(), error);
    } else if (!halvex::ParseLearnedBiases(text, stored, reason)) {
        DriverLog("%s: the IMU biases in '%s' are unusable (%s): they start from zero\n", mName.c_str(),
                  mLearnedBiasFile.c_str(), reason.c_str());
    } else if (stored.correctionFingerprint != fingerprint) {
        DriverLog("%s: the IMU biases in '%s' were learned under another IMU correction: they start from zero\n",
                  mName.c_str(), mLearnedBiasFile.c_str());
    } else {
        usable = true;
        DriverLog("%s: IMU biases of an earlier session from '%s': gyro %+.6f %+.6f %+.6f rad/s, accel %+.5f %+.5f %+.5f m/s^2\n",
                  mName.c_str(), mLearnedBiasFile.c_str(), stored.gyro.x(), stored.gyro.y(), stored.gyro.z(),
                  stored.accel.x(), stored.accel.y(), stored.accel.z());
    }
    std::lock_guard<std::mutex> lock(mFilterMutex);
    mStoredBiases = stored;
    mHasStoredBiases = usable;
    mHasLearnedBiases = false;
}

void cHalvexWmrDevice::SeedNewFilter(halvex::cFusionFilter& filter) {
    // Taken at each reset, so that the biases learned are judged against the correction they were learned under.
    mFilterCorrectionFingerprint = halvex::ImuCorrectionFingerprint(mCalibration);
    mFusionStartTime = 0.0;
    if (mHasStoredBiases && mStoredBiases.correctionFingerprint == mFilterCorrectionFingerprint)
        filter.SeedBiases(mStoredBiases.accel, mStoredBiases.gyro);
}

void cHalvexWmrDevice::NoteLearnedBiasesLocked() {
    const halvex::cFusionFilter& filter = mFusionFilter;
    if (!(filter.mLastImuTime > 0.0 && filter.mLastOpticalTime > 0.0)) return;
    if (mFusionStartTime == 0.0) mFusionStartTime = filter.mLastImuTime;
    halvex::sBiasLearningCriteria criteria;
    criteria.minFusedSeconds = mProvider->mWmrBiasLearningSeconds;
    if (!halvex::FilterHasLearnedBiases(filter, filter.mLastImuTime - mFusionStartTime, criteria)) return;
    // The newest learned state, so a reset late in the session does not lose it.
    mLearnedBiases.gyro = filter.mState.segment<3>(halvex::FusionState_GyroBias);
    mLearnedBiases.accel = filter.mState.segment<3>(halvex::FusionState_AccelBias);
    mLearnedBiases.correctionFingerprint = mFilterCorrectionFingerprint;
    mHasLearnedBiases = true;
}

void cHalvexWmrDevice::KeepLearnedBiases() {
    if (mLearnedBiasFile.empty()) return;
    const std::string path = mLearnedBiasFile;
    mLearnedBiasFile.clear();
    halvex::sLearnedImuBiases learned;
    bool hasLearned;
    double fusedSeconds;
    {
        std::lock_guard<std::mutex> lock(mFilterMutex);
        learned = mLearnedBiases;
        hasLearned = mHasLearnedBiases;
        mHasLearnedBiases = false;
        fusedSeconds = mFusionStartTime > 0.0 ? mFusionFilter.mLastImuTime - mFusionStartTime : 0.0;
    }
    if (!hasLearned) {
        DriverLog("%s: IMU biases not kept: the filter did not learn them (fused %.0f s since its last reset; "
                  "needs %.0f s and every bias variance at half its start)\n",
                  mName.c_str(), fusedSeconds, mProvider->mWmrBiasLearningSeconds);
        return;
    }
    const size_t slash = path.find_last_of('/');
    std::string error;
    if (!halvex::platform::CreateDirectories(path.substr(0, slash)))
        error = "cannot create the folder " + path.substr(0, slash);
    else
        halvex::platform::WriteFileAtomically(path, halvex::FormatLearnedBiases(learned), error);
    if (!error.empty()) {
        DriverLog("%s: IMU biases not kept: %s\n", mName.c_str(), error.c_str());
        return;
    }
    DriverLog("%s: IMU biases kept in '%s': gyro %+.6f %+.6f %+.6f rad/s, accel %+.5f %+.5f %+.5f m/s^2\n", mName.c_str(),
              path.c_str(), learned.gyro.x(), learned.gyro.y(), learned.gyro.z(), learned.accel.x(), learned.accel.y(),
              learned.accel.z());
}
