// Calibrations written into the runtime's settings store, section "driver_halvex",
// as all or nothing: a write the store refuses puts back what every key held before.
#pragma once

#include "recording/device_calibration.h"

#include <openvr.h>

#include <string>
#include <utility>
#include <vector>

// (slot, calibration) pairs; slot "Head", "ControllerA" or "ControllerB".
using tSlotCalibrations = std::vector<std::pair<std::string, halvex::sDeviceCalibration>>;

// False with a reason a user can read; the store then holds what it held before
// (the reason says so if even that failed).
bool WriteCalibrations(vr::IVRSettings* settings, const tSlotCalibrations& slots, std::string& error);

// The identity for every slot: what "Clear calibration" saves.
tSlotCalibrations IdentityCalibrations();
