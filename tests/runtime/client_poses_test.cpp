// The pose a client reads: the world pose of the driver's pose, and velocities turned
// into the tracking space.
#include "client_link/client_messages.h"
#include "vrhost/clients/client_poses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

vr::DriverPose_t QuarterTurnAboutY() {
    vr::DriverPose_t pose{};
    const double h = std::sqrt(0.5);
    pose.qWorldFromDriverRotation = {h, 0.0, h, 0.0};  // driver x is world -z
    pose.qDriverFromHeadRotation = {1.0, 0.0, 0.0, 0.0};
    pose.qRotation = {h, 0.0, h, 0.0};  // and the body turned the same way again
    pose.vecPosition[0] = 1.0;
    pose.vecVelocity[0] = 2.0;
    pose.vecAngularVelocity[0] = 3.0;  // about the body's own x
    pose.poseIsValid = true;
    pose.deviceIsConnected = true;
    pose.result = vr::TrackingResult_Running_OK;
    return pose;
}

TEST(ClientPoses, TheMatrixAndVelocitiesAreInTheTrackingSpace) {
    const vrhost::link::sClientPose pose = vrhost::ClientPoseOf(2, QuarterTurnAboutY());
    EXPECT_EQ(pose.device, 2u);
    EXPECT_TRUE(pose.valid);
    EXPECT_TRUE(pose.connected);
    // Position: driver (1,0,0) is world (0,0,-1).
    EXPECT_NEAR(pose.matrix[3], 0.0f, 1e-6f);
    EXPECT_NEAR(pose.matrix[11], -1.0f, 1e-6f);
    // Two quarter turns about y: the device's x axis points along world -x.
    EXPECT_NEAR(pose.matrix[0], -1.0f, 1e-6f);
    EXPECT_NEAR(pose.matrix[5], 1.0f, 1e-6f);
    EXPECT_NEAR(pose.matrix[10], -1.0f, 1e-6f);
    EXPECT_NEAR(pose.velocity[2], -2.0f, 1e-6f) << "velocity is in the driver's frame";
    EXPECT_NEAR(pose.angularVelocity[0], -3.0f, 1e-6f) << "angular velocity is in the body's frame";
    EXPECT_NEAR(pose.angularVelocity[2], 0.0f, 1e-6f);
}

TEST(ClientPoses, APoseWithANumberThatIsNotFiniteIsInvalid) {
    vr::DriverPose_t driverPose = QuarterTurnAboutY();
    driverPose.vecPosition[1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(vrhost::ClientPoseOf(1, driverPose).valid);
    driverPose = QuarterTurnAboutY();
    driverPose.poseIsValid = false;
    driverPose.deviceIsConnected = false;
    const vrhost::link::sClientPose pose = vrhost::ClientPoseOf(1, driverPose);
    EXPECT_FALSE(pose.valid);
    EXPECT_FALSE(pose.connected);
}

TEST(ClientPoses, PosesAndDebugRequestsSurviveTheLink) {
    vrhost::link::sClientRequest request;
    request.id = 7;
    request.op = vrhost::link::eClientOp::DebugRequest;
    request.device = 3;
    request.stringValue = "halvex/1 status";
    request.bufferSize = 16;
    vrhost::link::sClientRequest decoded;
    std::string error;
    ASSERT_TRUE(vrhost::link::DecodeRequest(vrhost::link::EncodeRequest(request), decoded, error)) << error;
    EXPECT_EQ(decoded.device, 3u);
    EXPECT_EQ(decoded.stringValue, "halvex/1 status");
    EXPECT_EQ(decoded.bufferSize, 16u);

    vrhost::link::sClientReply reply;
    reply.id = 7;
    reply.poses.push_back(vrhost::ClientPoseOf(4, QuarterTurnAboutY()));
    vrhost::link::sClientReply received;
    vrhost::link::sClientEvent event;
    ASSERT_EQ(vrhost::link::DecodeServerMessage(vrhost::link::EncodeReply(reply), received, event),
              vrhost::link::eServerMessage::Reply);
    ASSERT_EQ(received.poses.size(), 1u);
    EXPECT_EQ(received.poses[0].device, 4u);
    EXPECT_TRUE(received.poses[0].valid);
    EXPECT_FLOAT_EQ(received.poses[0].matrix[11], reply.poses[0].matrix[11]);
    EXPECT_FLOAT_EQ(received.poses[0].angularVelocity[0], reply.poses[0].angularVelocity[0]);
}

}  // namespace
