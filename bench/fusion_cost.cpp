// Cost of the head filter's operations, and of the covariance step in its
// structured form against the dense textbook form P = Fx P Fx^T + Q.
#include "allocation_counter.h"
#include "fusion/covariance_step.h"
#include "fusion/fusion_filter.h"
#include "fusion/rotation_math.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using halvex::cFusionFilter;
using halvex::Matrix18d;

constexpr halvex::sFusionFilterParams kFilterParams{0.1, 0.01, 1e-8, 1e-8};
constexpr double kImuPeriod = 0.001;

// Reports heap allocations per iteration made while the timed loop ran.
class cAllocationReport {
public:
    explicit cAllocationReport(benchmark::State& state) : mState(state), mStart(halvex::bench::AllocationCount()) {}
    ~cAllocationReport() {
        const double iterations = static_cast<double>(mState.iterations());
        mState.counters["allocs/iter"] =
            iterations > 0 ? (halvex::bench::AllocationCount() - mStart) / iterations : 0.0;
    }

private:
    benchmark::State& mState;
    long mStart;
};

void ImuReading(double time, double accelerometer[3], double gyroscope[3]) {
    accelerometer[0] = 0.3 * std::sin(3.0 * time);
    accelerometer[1] = 9.81 + 0.2 * std::cos(5.0 * time);
    accelerometer[2] = 0.1;
    gyroscope[0] = 0.5 * std::sin(2.0 * time);
    gyroscope[1] = 2.0 * std::cos(1.5 * time);
    gyroscope[2] = -0.3;
}

void AddImu(cFusionFilter& filter, double time) {
    double accelerometer[3];
    double gyroscope[3];
    ImuReading(time, accelerometer, gyroscope);
    filter.AddImuSample(accelerometer, gyroscope, time);
}

void AddOptical(cFusionFilter& filter, double time) {
    const double position[3] = {0.1, 1.6, -0.2};
    const double orientation[4] = {0.0, 0.0, 0.0, 1.0};
    filter.AddOpticalSample(position, 1e-6, orientation, 0.010000000000000002, time, 0.0);
}

// A running filter with a full buffer, as after a few seconds of tracking.
cFusionFilter RunningFilter(double& time) {
    cFusionFilter filter(kFilterParams);
    time = 100.0;
    for (int i = 0; i < 2000; ++i) {
        time += kImuPeriod;
        AddImu(filter, time);
        if (i % 8 == 7) AddOptical(filter, time - 0.012);
    }
    for (int i = 0; i < cFusionFilter::kImuBufferSize; ++i) {
        time += kImuPeriod;
        AddImu(filter, time);
    }
    return filter;
}

void BM_AddImuSample(benchmark::State& state) {
    double time = 0.0;
    cFusionFilter filter = RunningFilter(time);
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        time += kImuPeriod;
        AddImu(filter, time);
        benchmark::DoNotOptimize(filter.mState);
    }
}
BENCHMARK(BM_AddImuSample);

// Copy alone, to subtract from the optical case below.
void BM_FilterCopy(benchmark::State& state) {
    double time = 0.0;
    const cFusionFilter running = RunningFilter(time);
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        cFusionFilter filter = running;
        benchmark::DoNotOptimize(filter);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FilterCopy);

// Worst case: full buffer, optical time inside the oldest step, so one split
// step, the correction and the replay of all 50 steps (includes one filter copy).
void BM_AddOpticalSampleFullBuffer(benchmark::State& state) {
    double time = 0.0;
    const cFusionFilter running = RunningFilter(time);
    const double opticalTime = running.BufferedRecord(running.BufferCount() - 1).time - 0.5 * kImuPeriod;
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        cFusionFilter filter = running;
        AddOptical(filter, opticalTime);
        benchmark::DoNotOptimize(filter.mState);
    }
}
BENCHMARK(BM_AddOpticalSampleFullBuffer);

void BM_Propagate(benchmark::State& state) {
    double time = 0.0;
    const cFusionFilter filter = RunningFilter(time);
    halvex::Vector19d x = filter.mState;
    Matrix18d p = filter.mCovariance;
    double accelerometer[3];
    double gyroscope[3];
    ImuReading(time, accelerometer, gyroscope);
    const Eigen::Vector3d a(accelerometer[0], accelerometer[1], accelerometer[2]);
    const Eigen::Vector3d w(gyroscope[0], gyroscope[1], gyroscope[2]);
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        filter.Propagate(x, p, a, w, kImuPeriod);
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_Propagate);

// Inputs of one realistic covariance step.
struct sCovarianceStepInputs {
    Matrix18d covariance;
    halvex::sErrorTransition transition;
    Matrix18d denseTransition;
    Matrix18d processNoise;
    halvex::Vector18d processNoiseDiagonal;

    sCovarianceStepInputs() {
        double time = 0.0;
        const cFusionFilter filter = RunningFilter(time);
        covariance = filter.mCovariance;
        const Eigen::Matrix3d rotation = filter.Orientation().toRotationMatrix();
        const Eigen::Vector3d a(0.3, 9.7, 0.1);
        const Eigen::Vector3d w(0.5, 2.0, -0.3);
        transition.dt = kImuPeriod;
        transition.velocityFromOrientation = -rotation * halvex::SkewMatrix(a) * kImuPeriod;
        transition.velocityFromAccelBias = -rotation * kImuPeriod;
        transition.orientationFromOrientation =
            halvex::QuaternionFromRotationVector(w * kImuPeriod).toRotationMatrix().transpose();
        denseTransition = halvex::DenseErrorTransition(transition);
        processNoise = filter.ProcessNoise(kImuPeriod);
        processNoiseDiagonal = processNoise.diagonal();
    }
};

void BM_CovarianceStepDense(benchmark::State& state) {
    const sCovarianceStepInputs inputs;
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        Matrix18d p = inputs.covariance;
        halvex::PropagateCovarianceDense(p, inputs.denseTransition, inputs.processNoise);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_CovarianceStepDense);

void BM_CovarianceStepStructured(benchmark::State& state) {
    const sCovarianceStepInputs inputs;
    const cAllocationReport allocations(state);
    for (auto _ : state) {
        Matrix18d p = inputs.covariance;
        halvex::PropagateCovarianceStructured(p, inputs.transition, inputs.processNoiseDiagonal);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_CovarianceStepStructured);

}  // namespace

BENCHMARK_MAIN();
