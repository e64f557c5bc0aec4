#include "fake_imu_reader.h"

#include <openvr_driver.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstring>

cFakeImuReader::cFakeImuReader(std::string path) : mPath(std::move(path)) {
    mThread = std::thread(&cFakeImuReader::ThreadProc, this);
}

cFakeImuReader::~cFakeImuReader() {
    mStop = true;
    if (mThread.joinable()) mThread.join();
}

void cFakeImuReader::ThreadProc() {
    vr::IVRIOBuffer* io = vr::VRIOBuffer();
    vr::IOBufferHandle_t handle = vr::k_ulInvalidIOBufferHandle;
    unsigned failedOpens = 0;
    int firstError = vr::IOBuffer_Success;
    while (!mStop && io) {
        const vr::EIOBufferError error = io->Open(mPath.c_str(), vr::IOBufferMode_Read, sizeof(vr::ImuSample_t), 0, &handle);
        if (error == vr::IOBuffer_Success) break;
        if (failedOpens++ == 0) firstError = error;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    unsigned samples = 0, outOfGrid = 0, notIncreasing = 0;
    double last = 0.0;
    vr::ImuSample_t buffer[20];
    while (!mStop && handle != vr::k_ulInvalidIOBufferHandle) {
        uint32_t bytes = 0;
        while (io->Read(handle, buffer, sizeof(buffer), &bytes) == vr::IOBuffer_Success && bytes > 0) {
            for (uint32_t i = 0; i < bytes / sizeof(vr::ImuSample_t); ++i) {
                const double t = buffer[i].fSampleTime;
                // 1000 Hz on the absolute grid: a whole number of milliseconds.
                const double ms = t * 1000.0;
                if (std::fabs(ms - static_cast<double>(static_cast<long long>(ms + 0.5))) > 1e-6) ++outOfGrid;
                if (samples > 0 && !(t > last)) ++notIncreasing;
                last = t;
                ++samples;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (handle != vr::k_ulInvalidIOBufferHandle) io->Close(handle);
    char line[256];
    std::snprintf(line, sizeof(line),
                  "fake: imu %s failedOpens %u firstError %d samples %u outOfGrid %u notIncreasing %u\n", mPath.c_str(),
                  failedOpens, firstError, samples, outOfGrid, notIncreasing);
    vr::VRDriverLog()->Log(line);
}
