#include "corvane_options.h"

#include <gtest/gtest.h>

using corvane_sim::ParseOptions;
using corvane_sim::sOptions;

namespace {
const std::vector<std::string> kScenarios = {"still", "walk"};
}

TEST(CorvaneSimOptions, DefaultsAndFullCommandLine) {
    sOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions({}, kScenarios, &o, &error)) << error;
    EXPECT_EQ(o.address, "127.0.0.1");
    EXPECT_FALSE(o.multicast);
    EXPECT_GT(o.durationSeconds, 0.0) << "never runs without end";
    EXPECT_EQ(o.profile, sim::eSensorProfile::Ideal);

    ASSERT_TRUE(ParseOptions({"--address", "127.0.0.3", "--rate", "240", "--latency-ms", "12.5", "--rigid-body", "3",
                              "--rigid-body", "-5:walk", "--multicast", "--duration", "7", "--untracked-every", "10",
                              "--port", "40000", "--profile", "realistic"},
                             kScenarios, &o, &error))
        << error;
    EXPECT_EQ(o.address, "127.0.0.3");
    EXPECT_EQ(o.port, 40000);
    EXPECT_DOUBLE_EQ(o.rateHz, 240);
    EXPECT_DOUBLE_EQ(o.latencyMs, 12.5);
    ASSERT_EQ(o.rigidBodies.size(), 2u);
    EXPECT_EQ(o.rigidBodies[0].id, 3);
    EXPECT_EQ(o.rigidBodies[0].scenario, "still");
    EXPECT_EQ(o.rigidBodies[1].id, -5);
    EXPECT_EQ(o.rigidBodies[1].scenario, "walk");
    EXPECT_TRUE(o.multicast);
    EXPECT_DOUBLE_EQ(o.durationSeconds, 7);
    EXPECT_EQ(o.untrackedEvery, 10);
    EXPECT_EQ(o.profile, sim::eSensorProfile::Realistic);
    EXPECT_FALSE(o.silent);
    EXPECT_FALSE(o.controlStdin);

    ASSERT_TRUE(ParseOptions({"--silent", "--control-stdin"}, kScenarios, &o, &error)) << error;
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.controlStdin);
    EXPECT_DOUBLE_EQ(o.scenarioEpoch, 0.0);

    ASSERT_TRUE(ParseOptions({"--scenario-epoch", "now"}, kScenarios, &o, &error, 4321.5)) << error;
    EXPECT_DOUBLE_EQ(o.scenarioEpoch, 4321.5);
}

TEST(CorvaneSimOptions, BadOptionsAreNamedInTheError) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--address", "203.0.113.4"}, "not a loopback address"},
        {{"--address", "127.1"}, "not an IPv4 address"},
        {{"--rate", "0"}, "--rate"},
        {{"--rate", "fast"}, "--rate"},
        {{"--latency-ms", "-1"}, "--latency-ms"},
        {{"--rigid-body", "x"}, "rigid body ID"},
        {{"--rigid-body", "4:spin"}, "unknown scenario \"spin\""},
        {{"--rigid-body", "4", "--rigid-body", "4:walk"}, "given twice"},
        {{"--unicast", "--multicast"}, "exclude each other"},
        {{"--duration"}, "needs a value"},
        {{"--duration", "0"}, "--duration"},
        {{"--untracked-every", "-2"}, "--untracked-every"},
        {{"--port", "70000"}, "--port"},
        {{"--verbose"}, "unknown option"},
        {{"--profile", "noisy"}, "--profile: expected ideal or realistic"},
        {{"--scenario-epoch", "-3"}, "--scenario-epoch"},
    };
    for (const auto& [args, expected] : cases) {
        sOptions o;
        std::string error;
        EXPECT_FALSE(ParseOptions(args, kScenarios, &o, &error)) << args[0];
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}
