// The filter parameters a head device builds its filter from, shared with the tools
// that replay what a device did.
#pragma once

#include "fusion_filter_params.h"

namespace halvex {

// A WMR headset's HID interface offers no factory calibration, so its filter starts
// without the biases and must learn them: the prior covers what uncalibrated consumer
// MEMS IMUs leave the factory with, a few mrad/s (sigma 3.2 mrad/s) and tens of mg
// (sigma 0.2 m/s^2). Ten times the bias walk (sigma 0.3 mrad/s and 0.3 mm/s^2) would
// hold the estimates near zero for the whole session.
constexpr sFusionFilterParams kWmrHeadFilterParams{0.1, 0.0001, 1e-8, 1e-8, 0.04, 1e-5};

}  // namespace halvex
