// The driver's status answer put in words: the mocap stream's state, and per device
// whether it tracks and how, or what is wrong and what to do about it. Plain data,
// so the panel only lays it out.
#pragma once

#include "DriverLink.h"

#include <QString>

#include <array>

struct sStatusLine {
    QString state;
    QString hint;  // what to do, for a bad state; empty otherwise
    bool bad = false;
};

struct sDeviceStatusText {
    QString name;  // "HMD", "Controller A", "Controller B"
    sStatusLine line;
    QString calibration;  // empty when the status does not say
};

struct sLiveStatusText {
    sStatusLine server;
    QString frameRate;
    QString latency;
    std::array<sDeviceStatusText, 3> devices;  // head, controller A, controller B
};

// Optical samples older than this mean the cameras lost the rigid body.
constexpr double kOccludedAfterSeconds = 0.5;

sLiveStatusText DescribeStatus(const sDriverAnswer& answer);
