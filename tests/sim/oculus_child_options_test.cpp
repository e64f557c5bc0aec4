#include "child_options.h"

#include <gtest/gtest.h>

#include <map>

namespace oculus_sim {
namespace {

const std::vector<std::string> kScenarios = {"still", "head-turns"};

bool Read(const std::map<std::string, std::string>& environment, sChildOptions* options, std::string* error) {
    return ReadChildOptions(
        [&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        },
        kScenarios, options, error);
}

TEST(OculusChildOptions, VariablesSetWhatTheyNameAndUnsetOnesKeepTheDefaults) {
    sChildOptions options;
    std::string error;
    ASSERT_TRUE(Read({}, &options, &error)) << error;
    EXPECT_EQ(options.scenario, "still");
    EXPECT_DOUBLE_EQ(options.lifetimeSeconds, 3600.0);
    EXPECT_DOUBLE_EQ(options.scenarioEpoch, 0.0);

    ASSERT_TRUE(Read({{"HALVEX_OCULUS_SIM_SCENARIO", "head-turns"},
                      {"HALVEX_OCULUS_SIM_RIGID_BODY", "-7"},
                      {"HALVEX_OCULUS_SIM_LIFETIME", "12.5"},
                      {"HALVEX_OCULUS_SIM_START_DELAY", "0"},
                      {"HALVEX_OCULUS_SIM_SCENARIO_EPOCH", "98765.125"}},
                     &options, &error))
        << error;
    EXPECT_EQ(options.scenario, "head-turns");
    EXPECT_EQ(options.rigidBodyId, -7);
    EXPECT_DOUBLE_EQ(options.lifetimeSeconds, 12.5);
    EXPECT_DOUBLE_EQ(options.startDelaySeconds, 0.0);
    EXPECT_DOUBLE_EQ(options.scenarioEpoch, 98765.125);
}

TEST(OculusChildOptions, ValuesItCannotUseAreRefusedByName) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"HALVEX_OCULUS_SIM_SCENARIO", "spin"},       {"HALVEX_OCULUS_SIM_RIGID_BODY", "3x"},
        {"HALVEX_OCULUS_SIM_LIFETIME", "0"},          {"HALVEX_OCULUS_SIM_LIFETIME", ""},
        {"HALVEX_OCULUS_SIM_START_DELAY", "3601"},    {"HALVEX_OCULUS_SIM_START_DELAY", "-1"},
        {"HALVEX_OCULUS_SIM_SCENARIO_EPOCH", "-0.5"}, {"HALVEX_OCULUS_SIM_SCENARIO_EPOCH", "inf"},
    };
    for (const auto& [name, value] : cases) {
        sChildOptions options;
        std::string error;
        EXPECT_FALSE(Read({{name, value}}, &options, &error)) << name << "=" << value;
        if (name != "HALVEX_OCULUS_SIM_SCENARIO") {
            EXPECT_NE(error.find(name), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace oculus_sim
