#include "filter_test_support.h"
#include "fusion_replay.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace halvex {
namespace {

struct sReplay {
    int status = 0;
    std::vector<std::vector<std::string>> lines;
    std::string errors;
};

sReplay Replay(const std::string& events) {
    std::istringstream input(events);
    std::ostringstream output;
    std::ostringstream errors;
    sReplay replay;
    replay.status = RunFusionReplay(input, output, errors);
    replay.errors = errors.str();
    std::istringstream lines(output.str());
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (std::getline(split, field, ',')) fields.push_back(field);
        replay.lines.push_back(fields);
    }
    return replay;
}

double Number(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

// Every printed number must read back as exactly the filter's value.
void ExpectLineShows(const std::vector<std::string>& fields, const char* kind, double result,
                     double mahalanobis, const cFusionFilter& filter) {
    ASSERT_EQ(fields.size(), 44u);
    EXPECT_EQ(fields[0], kind);
    EXPECT_EQ(Number(fields[1]), result);
    EXPECT_EQ(Number(fields[2]), mahalanobis);
    EXPECT_EQ(Number(fields[3]), filter.mLastImuTime);
    EXPECT_EQ(Number(fields[4]), filter.mLastOpticalTime);
    EXPECT_EQ(Number(fields[5]), filter.mDelayedTime);
    EXPECT_EQ(Number(fields[6]), filter.BufferCount());
    for (int i = 0; i < 19; ++i) EXPECT_EQ(Number(fields[7 + i]), filter.mState[i]) << "state " << i;
    for (int i = 0; i < 18; ++i) EXPECT_EQ(Number(fields[26 + i]), filter.mCovariance(i, i)) << "P " << i;
}

TEST(FusionReplay, EveryEventLineShowsTheFilterAfterIt) {
    const std::string events =
        "# a comment, then a blank line\n"
        "\n"
        "imu,1.0,0.1,9.8,-0.2,0.3,-0.1,0.2\n"
        "imu,1.001,0.1,9.8,-0.2,0.3,-0.1,0.2\r\n"
        "opt,0.5,0,0,0,0,0,0,1,1e-6,0.01,0\n"
        "imu,1.002,0.1,9.8,-0.2,0.3,-0.1,0.2\n"
        "opt,1.0015,0.1,1.6,-0.3,0.1,0.2,0.05,0.97,1e-6,0.010000000000000002,0\n"
        "   imu , 1.003 ,0.1,9.8,-0.2,0.3,-0.1,0.2\n"
        "opt,1.0025,0.1,1.6,-0.3,0.1,0.2,0.05,0.97,1e-6,0.010000000000000002,1e-300\n";
    const sReplay replay = Replay(events);
    ASSERT_EQ(replay.status, 0) << replay.errors;
    ASSERT_EQ(replay.lines.size(), 7u);

    cFusionFilter filter(test::kLighthouseParams);
    const double a[3] = {0.1, 9.8, -0.2};
    const double g[3] = {0.3, -0.1, 0.2};
    const double origin[3] = {0, 0, 0};
    const double identity[4] = {0, 0, 0, 1};
    const double p[3] = {0.1, 1.6, -0.3};
    const double q[4] = {0.1, 0.2, 0.05, 0.97};
    ExpectLineShows(replay.lines[0], "imu", filter.AddImuSample(a, g, 1.0), 0.0, filter);
    ExpectLineShows(replay.lines[1], "imu", filter.AddImuSample(a, g, 1.001), 0.0, filter);
    sFilterUpdateResult r = filter.AddOpticalSample(origin, 1e-6, identity, 0.01, 0.5, 0);
    EXPECT_EQ(r.status, FilterUpdate_Refused);
    ExpectLineShows(replay.lines[2], "opt", r.status, r.mahalanobis, filter);
    ExpectLineShows(replay.lines[3], "imu", filter.AddImuSample(a, g, 1.002), 0.0, filter);
    r = filter.AddOpticalSample(p, 1e-6, q, 0.010000000000000002, 1.0015, 0);
    EXPECT_EQ(r.status, FilterUpdate_Corrected);
    ExpectLineShows(replay.lines[4], "opt", r.status, r.mahalanobis, filter);
    ExpectLineShows(replay.lines[5], "imu", filter.AddImuSample(a, g, 1.003), 0.0, filter);
    r = filter.AddOpticalSample(p, 1e-6, q, 0.010000000000000002, 1.0025, 1e-300);
    EXPECT_EQ(r.status, FilterUpdate_Gated);
    ExpectLineShows(replay.lines[6], "opt", r.status, r.mahalanobis, filter);
    EXPECT_EQ(replay.lines[6][1], "2");
}

TEST(FusionReplay, ParamsStartAFreshFilterAndBiasSeedsBothStates) {
    const sReplay replay = Replay(
        "imu,1.0,0,9.8,0,0,0,0\n"
        "params,0.5,0.25,2e-8,3e-8\n"
        "bias,0.1,0.2,0.3,0.01,0.02,0.03\n"
        "imu,2.0,0,9.8,0,0,0,0\n"
        "imu,2.001,0,9.8,0,0,0,0\n"
        "opt,2.001,0,1.6,0,0,0,0,1,1e-6,0.01,0\n");
    ASSERT_EQ(replay.status, 0) << replay.errors;
    ASSERT_EQ(replay.lines.size(), 4u);
    EXPECT_EQ(replay.lines[1][1], "0");  // the new filter's clock starts again
    EXPECT_EQ(Number(replay.lines[1][26 + 9]), 2e-7);
    EXPECT_EQ(Number(replay.lines[1][26 + 12]), 3e-7);
    EXPECT_EQ(Number(replay.lines[1][7 + 10]), 0.1);
    EXPECT_EQ(Number(replay.lines[1][7 + 15]), 0.03);

    // The bias reached the delayed copy too: the correction starts from it.
    cFusionFilter filter(sFusionFilterParams{0.5, 0.25, 2e-8, 3e-8});
    filter.SeedBiases(Eigen::Vector3d(0.1, 0.2, 0.3), Eigen::Vector3d(0.01, 0.02, 0.03));
    const double a[3] = {0, 9.8, 0};
    const double g[3] = {0, 0, 0};
    filter.AddImuSample(a, g, 2.0);
    filter.AddImuSample(a, g, 2.001);
    const double p[3] = {0, 1.6, 0};
    const double q[4] = {0, 0, 0, 1};
    const sFilterUpdateResult r = filter.AddOpticalSample(p, 1e-6, q, 0.01, 2.001, 0);
    ExpectLineShows(replay.lines[3], "opt", r.status, r.mahalanobis, filter);
}

TEST(FusionReplay, MalformedLineStopsWithItsNumberAndReason) {
    struct sCase {
        const char* line;
        const char* reason;
    };
    const sCase cases[] = {
        {"imu,1.0,0,9.8,0,0,0", "needs 7 numbers, got 6"},
        {"imu,1.0,0,9.8,0,0,0,0,0", "needs 7 numbers, got 8"},
        {"opt,1.0,0,0,0,0,0,0,1,1e-6,0.01", "needs 11 numbers, got 10"},
        {"imu,1.0,0,9.8,zero,0,0,0", "'zero' is not a number"},
        {"imu,1.0,0,9.8,,0,0,0", "is not a number"},
        {"imu,1.0,0,9.8,1.5x,0,0,0", "'1.5x' is not a number"},
        {"teleport,1,2,3", "unknown event 'teleport'"},
        {"IMU,1.0,0,9.8,0,0,0,0", "unknown event 'IMU'"},
        {"params,0.1,0.01,1e-8", "needs 4 numbers, got 3"},
        {"bias,1,2,3", "needs 6 numbers, got 3"},
    };
    for (const sCase& c : cases) {
        const sReplay replay = Replay(std::string("imu,1.0,0,9.8,0,0,0,0\n# fine\n") + c.line +
                                      "\nimu,1.001,0,9.8,0,0,0,0\n");
        EXPECT_EQ(replay.status, 2) << c.line;
        EXPECT_EQ(replay.lines.size(), 1u) << c.line;  // stops at the bad line
        EXPECT_NE(replay.errors.find("line 3:"), std::string::npos) << replay.errors;
        EXPECT_NE(replay.errors.find(c.reason), std::string::npos) << replay.errors;
    }
}

}  // namespace
}  // namespace halvex
