#include "recording/records.h"

#include <algorithm>

namespace halvex {

std::string RowTypeName(int type) {
    switch (type) {
    case FilterRow_OptPre: return "opt_pre";
    case FilterRow_OptPost: return "opt_post";
    case FilterRow_ImuPre: return "imu_pre";
    case FilterRow_ImuPost: return "imu_post";
    default: return "unk_" + std::to_string(type);
    }
}

sFilterRecord MakeFilterRecord(double driverTime, int rowType, const double* state, const double* covarianceDiagonal) {
    sFilterRecord record;
    record.driverTime = driverTime;
    record.rowType = static_cast<double>(rowType);
    std::copy(state, state + sFilterRecord::kStateCount, record.state);
    std::copy(covarianceDiagonal, covarianceDiagonal + sFilterRecord::kCovarianceCount, record.covarianceDiagonal);
    return record;
}

}  // namespace halvex
