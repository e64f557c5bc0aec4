#include "replay_tool.h"

#include "csv_fields.h"
#include "device_replay.h"
#include "filter_comparison.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace halvex::replay {
namespace {

const char kUsage[] =
    "usage: halvex_replay [--params accelNoise,gyroNoise,accelBiasWalk,gyroBiasWalk]\n"
    "                     [--position-variance M2] [--orientation-variance RAD2] [--latency-ms MS]\n"
    "                     [--accel-bias X,Y,Z] [--gyro-bias X,Y,Z] [--compare deviceN_filter.csv]\n"
    "                     [--poll-period-ms MS] [--out FILE] deviceN_rawdata.csv\n"
    "Replays a head's raw data recording (Lighthouse or WMR, told by its header) through the\n"
    "fusion filter as the device drove it and writes the filter file (standard output without\n"
    "--out). Parameters and variances default to the device's own. --latency-ms is added to every\n"
    "optical event time. Bias seeds not given are read from the device's filter file: the\n"
    "--compare file, else deviceN_filter.csv beside the raw data file when there is one (a WMR\n"
    "head starts from biases it learned before); zero without either. --poll-period-ms (default 0.58):\n"
    "rows further apart than this had an IMU poll between them that judged staleness.\n";

struct sCommandLine {
    sReplayOptions options;
    // Given on the command line; the rest are the recorded device's own.
    std::optional<sFusionFilterParams> params;
    std::optional<double> positionVariance;
    std::optional<double> orientationVariance;
    bool accelSeedGiven = false;
    bool gyroSeedGiven = false;
    std::string rawFile;
    std::string compareFile;
    std::string outFile;
};

bool ParseCommandLine(const std::vector<std::string>& args, sCommandLine& command, std::string& reason) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option.rfind("--", 0) != 0) {
            if (!command.rawFile.empty()) {
                reason = "more than one raw data file given";
                return false;
            }
            command.rawFile = option;
            continue;
        }
        if (i + 1 >= args.size()) {
            reason = option + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        double numbers[4] = {};
        bool ok = true;
        sReplayOptions& o = command.options;
        if (option == "--params") {
            ok = tools::ParseNumberList(value, numbers, 4) && numbers[0] >= 0 && numbers[1] >= 0 && numbers[2] >= 0 &&
                 numbers[3] >= 0;
            command.params = sFusionFilterParams{numbers[0], numbers[1], numbers[2], numbers[3]};
        } else if (option == "--position-variance") {
            ok = tools::ParseNumber(value, numbers[0]) && numbers[0] > 0;
            command.positionVariance = numbers[0];
        } else if (option == "--orientation-variance") {
            ok = tools::ParseNumber(value, numbers[0]) && numbers[0] > 0;
            command.orientationVariance = numbers[0];
        } else if (option == "--latency-ms") {
            ok = tools::ParseNumber(value, numbers[0]) && std::isfinite(numbers[0]);
            o.opticalLatencyCorrection = numbers[0] / 1000.0;
        } else if (option == "--poll-period-ms") {
            ok = tools::ParseNumber(value, numbers[0]) && numbers[0] > 0 && numbers[0] < 1000;
            o.pollPeriod = numbers[0] / 1000.0;
        } else if (option == "--accel-bias" || option == "--gyro-bias") {
            ok = tools::ParseNumberList(value, numbers, 3);
            const Eigen::Vector3d seed(numbers[0], numbers[1], numbers[2]);
            if (option == "--accel-bias") {
                o.accelBiasSeed = seed;
                command.accelSeedGiven = true;
            } else {
                o.gyroBiasSeed = seed;
                command.gyroSeedGiven = true;
            }
        } else if (option == "--compare") {
            command.compareFile = value;
        } else if (option == "--out") {
            command.outFile = value;
        } else {
            reason = "unknown option " + option;
            return false;
        }
        if (!ok) {
            reason = "bad value '" + value + "' for " + option;
            return false;
        }
    }
    if (command.rawFile.empty()) {
        reason = "no raw data file given";
        return false;
    }
    return true;
}

bool ReportInputError(const std::string& file, const sInputError& error, std::ostream& messages) {
    messages << "halvex_replay: " << file;
    if (error.line > 0) messages << ":" << error.line;
    messages << ": " << error.reason << "\n";
    return false;
}

// The factory biases are not in the raw data file; the device's filter file shows
// them as the bias states of a fresh filter once the IMU stream is open.
const sFilterRow* SeedRow(const sRawDataFile& raw, const std::vector<sFilterRow>& recorded) {
    double firstImu = 0.0;
    for (const sRawRow& row : raw.rows) {
        if (row.record.sensorType == kRawSensorImu) {
            firstImu = row.record.driverTime;
            break;
        }
    }
    for (const sFilterRow& row : recorded) {
        if (row.record.driverTime >= firstImu && IsFreshFilter(row.record)) return &row;
    }
    return recorded.empty() ? nullptr : &recorded.front();
}

// "deviceN<suffix>" for "deviceN_rawdata.csv"; empty for a file not named as a recording's.
std::string BesideRawFile(const std::string& rawFile, const char* suffix) {
    const std::string raw = "_rawdata.csv";
    if (rawFile.size() < raw.size() || rawFile.compare(rawFile.size() - raw.size(), raw.size(), raw) != 0) return {};
    return rawFile.substr(0, rawFile.size() - raw.size()) + suffix;
}

// The seeds the command line left open, from the device's filter rows in `file`.
void TakeSeeds(const sRawDataFile& raw, const std::vector<sFilterRow>& recorded, const std::string& file,
               sCommandLine& command, std::ostream& messages) {
    const sFilterRow* seed = SeedRow(raw, recorded);
    if (seed == nullptr || (command.accelSeedGiven && command.gyroSeedGiven)) return;
    const double* s = seed->record.state;
    if (!command.accelSeedGiven) command.options.accelBiasSeed = Eigen::Vector3d(s[10], s[11], s[12]);
    if (!command.gyroSeedGiven) command.options.gyroBiasSeed = Eigen::Vector3d(s[13], s[14], s[15]);
    messages << "halvex_replay: bias seeds taken from " << file << " line " << seed->line << "\n";
}

// Without --compare: the filter file the device wrote beside the recording, when there is one.
// A damaged one costs only its seeds.
void TakeSeedsBeside(const sRawDataFile& raw, sCommandLine& command, std::ostream& messages) {
    if (command.accelSeedGiven && command.gyroSeedGiven) return;
    const std::string path = BesideRawFile(command.rawFile, "_filter.csv");
    if (path.empty()) return;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::vector<sFilterRow> rows;
    sInputError error;
    if (!ReadFilterFile(in, rows, error)) {
        messages << "halvex_replay: " << path << (error.line > 0 ? ":" + std::to_string(error.line) : "") << ": "
                 << error.reason << "; the bias seeds not given stay zero\n";
        return;
    }
    TakeSeeds(raw, rows, path, command, messages);
}

// The calibration the device applied: "deviceN_calibration.txt" beside "deviceN_rawdata.csv".
// None there: the identity, as in recordings made before calibrations existed.
bool ReadCalibrationBeside(const std::string& rawFile, sDeviceCalibration& calibration, std::ostream& messages) {
    const std::string path = BesideRawFile(rawFile, "_calibration.txt");
    if (path.empty()) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;
    std::stringstream text;
    text << in.rdbuf();
    long line = 0;
    std::string reason;
    if (!ParseCalibrationFile(text.str(), calibration, line, reason)) {
        messages << "halvex_replay: " << path << ":" << line << ": " << reason << "\n";
        return false;
    }
    if (!calibration.IsIdentity()) messages << "halvex_replay: applying the calibration in " << path << "\n";
    return true;
}

// The device's defaults for what the command line left open; the rest as given.
void TakeDeviceOptions(const sRawDataFile& raw, sCommandLine& command) {
    sReplayOptions options = DeviceOptions(raw.header.hasFactoryScales ? eReplayDevice::Lighthouse : eReplayDevice::Wmr);
    const sReplayOptions& given = command.options;
    options.opticalLatencyCorrection = given.opticalLatencyCorrection;
    options.accelBiasSeed = given.accelBiasSeed;
    options.gyroBiasSeed = given.gyroBiasSeed;
    options.pollPeriod = given.pollPeriod;
    options.calibration = given.calibration;
    if (options.calibration.opticalPositionVariance > 0.0)
        options.positionVariance = options.calibration.opticalPositionVariance;
    if (options.calibration.opticalOrientationVariance > 0.0)
        options.orientationVariance = options.calibration.opticalOrientationVariance;
    // The four noise figures only: the device's bias prior stays.
    if (command.params) {
        options.params.accelNoise = command.params->accelNoise;
        options.params.gyroNoise = command.params->gyroNoise;
        options.params.accelBiasWalk = command.params->accelBiasWalk;
        options.params.gyroBiasWalk = command.params->gyroBiasWalk;
    }
    if (command.positionVariance) options.positionVariance = *command.positionVariance;
    if (command.orientationVariance) options.orientationVariance = *command.orientationVariance;
    command.options = options;
}

// In the recorded device's own style: the row type as a number (Lighthouse) or a name (WMR).
bool WriteFilterFile(const std::string& path, const std::vector<sFilterRow>& rows, eReplayDevice device,
                     std::ostream& messages) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, std::fclose);
    std::FILE* file = stdout;
    if (!path.empty()) {
        owned.reset(std::fopen(path.c_str(), "wb"));
        file = owned.get();
        if (file == nullptr) {
            messages << "halvex_replay: cannot create " << path << "\n";
            return false;
        }
    }
    bool ok = WriteFilterHeader(file);
    for (const sFilterRow& row : rows)
        ok &= device == eReplayDevice::Wmr ? WriteWmrFilterRow(file, row.record) : WriteLighthouseFilterRow(file, row.record);
    ok &= std::fflush(file) == 0;
    if (!ok) messages << "halvex_replay: writing " << (path.empty() ? "standard output" : path) << " failed\n";
    return ok;
}

}  // namespace

int RunHalvexReplay(const std::vector<std::string>& args, std::ostream& messages) {
    sCommandLine command;
    std::string reason;
    if (!ParseCommandLine(args, command, reason)) {
        messages << "halvex_replay: " << reason << "\n" << kUsage;
        return 2;
    }

    sRawDataFile raw;
    sInputError error;
    std::ifstream rawIn(command.rawFile, std::ios::binary);
    if (!rawIn) {
        messages << "halvex_replay: cannot open " << command.rawFile << "\n";
        return 2;
    }
    if (!ReadRawDataFile(rawIn, raw, error)) return ReportInputError(command.rawFile, error, messages), 2;
    if (raw.header.orientationOnly) {
        messages << "halvex_replay: " << command.rawFile
                 << " is an orientation-only headset's recording: no accelerometer, no filter to replay\n";
        return 2;
    }
    if (!ReadCalibrationBeside(command.rawFile, command.options.calibration, messages)) return 2;
    TakeDeviceOptions(raw, command);

    std::vector<sFilterRow> recorded;
    if (!command.compareFile.empty()) {
        std::ifstream filterIn(command.compareFile, std::ios::binary);
        if (!filterIn) {
            messages << "halvex_replay: cannot open " << command.compareFile << "\n";
            return 2;
        }
        if (!ReadFilterFile(filterIn, recorded, error)) return ReportInputError(command.compareFile, error, messages), 2;
        TakeSeeds(raw, recorded, command.compareFile, command, messages);
    } else {
        TakeSeedsBeside(raw, command, messages);
    }

    if (!command.compareFile.empty()) command.options.deviceRows = &recorded;
    const sReplayResult result = ReplayRecording(raw, command.options);
    if (result.reordered > 0)
        messages << "halvex_replay: " << result.reordered
                 << " optical samples reached the device's filter ahead of IMU samples recorded before them;"
                    " the replay follows the device's order there\n";
    for (const sReplayReset& reset : result.resets) {
        if (reset.line == 0) continue;  // the reset that starts every recording
        messages << "halvex_replay: filter reset at raw data line " << reset.line << " (driverTime "
                 << std::to_string(reset.driverTime) << "): " << reset.reason << "\n";
    }
    if (!WriteFilterFile(command.outFile, result.filterRows, command.options.device, messages)) return 2;
    if (command.compareFile.empty()) return 0;
    const sComparison comparison = CompareFilterRows(result.filterRows, recorded);
    messages << "halvex_replay: " << DescribeComparison(comparison, result, recorded, command.compareFile) << "\n";
    return comparison.parted ? 1 : 0;
}

}  // namespace halvex::replay
