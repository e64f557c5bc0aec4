#include "recording/csv_format.h"

#include <climits>

namespace halvex {

const char kRawDataColumns[] = "driverTime,eventTime,sensorType,tx,ty,tz,rw,rx,ry,rz";
const char kFilterColumns[] =
    "driverTime,type,posx,posy,posz,velx,vely,velz,oriw,orix,oriy,oriz,abx,aby,abz,gbx,gby,gbz,"
    "gx,gy,gz,posxp,posyp,poszp,velxp,velyp,velzp,orixp,oriyp,orizp,abxp,abyp,abzp,gbxp,gbyp,"
    "gbzp,gxp,gyp,gzp";

const char kOrientationOnlySourceLine[] =
    "# Source: orientation-only headset; imu rows: body-frame angular velocity in rx,ry,rz, no accelerometer";

bool WriteRawDataHeader(std::FILE* file, const sRawDataHeader& header) {
    bool ok = std::fputs("# ImuToHead:\n", file) >= 0;
    for (int row = 0; row < 3; ++row) {
        const double* m = header.imuToHead[row];
        ok &= std::fprintf(file, "#     %+1.16e %+1.16e %+1.16e %+1.16e\n", m[0], m[1], m[2], m[3]) >= 0;
    }
    ok &= std::fputs("#\n", file) >= 0;
    if (header.orientationOnly) ok &= std::fprintf(file, "%s\n", kOrientationOnlySourceLine) >= 0;
    if (header.hasFactoryScales) {
        const double* a = header.factoryAccelScale;
        const double* g = header.factoryGyroScale;
        ok &= std::fprintf(file, "# FactoryAccelScale: %+1.16e %+1.16e %+1.16e\n", a[0], a[1], a[2]) >= 0;
        ok &= std::fprintf(file, "# FactoryGyroScale: %+1.16e %+1.16e %+1.16e\n", g[0], g[1], g[2]) >= 0;
    }
    ok &= std::fprintf(file, "%s\n", kRawDataColumns) >= 0;
    return ok;
}

bool WriteRawRow(std::FILE* file, const sRawRecord& r) {
    const char* sensor = r.sensorType == kRawSensorImu ? "imu" : "opt";
    return std::fprintf(file,
                        "%+1.16e,%+1.16e,%s,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e,%+1.16e\n",
                        r.driverTime, r.eventTime, sensor, r.tx, r.ty, r.tz, r.rw, r.rx, r.ry, r.rz) >= 0;
}

bool WriteFilterHeader(std::FILE* file) {
    return std::fprintf(file, "%s\n", kFilterColumns) >= 0;
}

namespace {

// State values and covariance diagonal, each preceded by a comma, then the line end.
bool WriteFilterValues(std::FILE* file, const sFilterRecord& record) {
    bool ok = true;
    for (double value : record.state) ok &= std::fprintf(file, "%s%+1.16e", ",", value) >= 0;
    for (double value : record.covarianceDiagonal) ok &= std::fprintf(file, "%s%+1.16e", ",", value) >= 0;
    ok &= std::fputc('\n', file) != EOF;
    return ok;
}

}  // namespace

bool WriteLighthouseFilterRow(std::FILE* file, const sFilterRecord& record) {
    bool ok = std::fprintf(file, "%s%+1.16e", "", record.driverTime) >= 0;
    ok &= std::fprintf(file, "%s%+1.16e", ",", record.rowType) >= 0;
    ok &= WriteFilterValues(file, record);
    return ok;
}

bool WriteWmrFilterRow(std::FILE* file, const sFilterRecord& record) {
    bool ok = std::fprintf(file, "%s%+1.16e", "", record.driverTime) >= 0;
    ok &= std::fprintf(file, ", %s", RowTypeNameOfValue(record.rowType).c_str()) >= 0;
    ok &= WriteFilterValues(file, record);
    return ok;
}

std::string RowTypeNameOfValue(double rowType) {
    // Converting a double outside int's range (or NaN) is undefined, not just wrong.
    if (!(rowType > static_cast<double>(INT_MIN) - 1.0 && rowType < static_cast<double>(INT_MAX) + 1.0)) return "unk";
    return RowTypeName(static_cast<int>(rowType));
}

}  // namespace halvex
