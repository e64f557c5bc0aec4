// The errors a test streams a rigid body with: off its true frame by a rigid-body
// error (rotation vector in degrees, translation in mm, the command line's form),
// its stamps late by a latency stamp error.
#pragma once

#include "sim/sensor_error_options.h"

#include <gtest/gtest.h>

#include <string>

namespace halvex::test {

inline sim::sSensorErrorOverrides StreamErrors(const char* rigidBodyError, double latencyStampError = 0.0) {
    sim::sSensorErrorOverrides errors;
    std::string reason;
    EXPECT_TRUE(sim::ParseRigidBodyError(rigidBodyError, errors.rigidBodyError, reason)) << reason;
    errors.hasRigidBodyError = true;
    errors.hasLatencyStampError = latencyStampError != 0.0;
    errors.latencyStampError = latencyStampError;
    return errors;
}

}  // namespace halvex::test
