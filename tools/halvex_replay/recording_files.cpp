#include "recording_files.h"

#include "csv_fields.h"

#include <cmath>
#include <sstream>

namespace halvex::replay {
namespace {

using tools::ParseNumber;
using tools::SplitFields;

class cLineReader {
public:
    explicit cLineReader(std::istream& in) : mIn(in) {}

    bool Next(std::string& line) {
        if (!std::getline(mIn, line)) return false;
        ++mLine;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    long Line() const { return mLine; }

    bool Fail(sInputError& error, const std::string& reason) const { return FailAt(mLine, error, reason); }
    // The line the file lacks: the one after its last.
    bool FailAtEnd(sInputError& error, const std::string& reason) const { return FailAt(mLine + 1, error, reason); }

private:
    static bool FailAt(long line, sInputError& error, const std::string& reason) {
        error.line = line;
        error.reason = reason;
        return false;
    }

    std::istream& mIn;
    long mLine = 0;
};

// "# Label: a b c": the numbers after the label, separated by blanks.
bool ParseCommentNumbers(const std::string& line, const std::string& label, double* values, int count) {
    if (line.compare(0, label.size(), label) != 0) return false;
    std::istringstream rest(line.substr(label.size()));
    std::string word;
    int read = 0;
    while (rest >> word) {
        if (read == count || !ParseNumber(word, values[read])) return false;
        ++read;
    }
    return read == count;
}

bool ExpectLine(cLineReader& reader, const std::string& expected, const char* what, sInputError& error) {
    std::string line;
    if (!reader.Next(line)) return reader.FailAtEnd(error, std::string("file ends before ") + what);
    if (line != expected) return reader.Fail(error, std::string("expected ") + what + " '" + expected + "'");
    return true;
}

bool ParseRawRow(const std::string& line, sRawRecord& record, std::string& reason) {
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() != 10) {
        reason = "expected 10 fields, got " + std::to_string(fields.size());
        return false;
    }
    double values[10] = {};
    for (int i = 0; i < 10; ++i) {
        if (i == 2) continue;
        if (!ParseNumber(fields[i], values[i])) {
            reason = "field " + std::to_string(i + 1) + " '" + fields[i] + "' is not a number";
            return false;
        }
    }
    if (fields[2] == "imu") {
        values[2] = kRawSensorImu;
    } else if (fields[2] == "opt") {
        values[2] = kRawSensorOptical;
    } else {
        reason = "sensor '" + fields[2] + "' is neither imu nor opt";
        return false;
    }
    // The driver's own clock; sample values and times are recorded as received.
    if (!std::isfinite(values[0])) {
        reason = "driverTime must be finite";
        return false;
    }
    record = sRawRecord{values[0], values[1], values[2], values[3], values[4],
                        values[5], values[6], values[7], values[8], values[9]};
    return true;
}

bool ParseRowType(const std::string& field, double& type) {
    if (ParseNumber(field, type)) return true;
    for (int t = FilterRow_OptPre; t <= FilterRow_ImuPost; ++t) {
        if (field == RowTypeName(t)) {
            type = t;
            return true;
        }
    }
    return false;
}

bool ParseFilterRow(const std::string& line, sFilterRecord& record, std::string& reason) {
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() != sFilterRecord::kValueCount) {
        reason = "expected " + std::to_string(sFilterRecord::kValueCount) + " fields, got " +
                 std::to_string(fields.size());
        return false;
    }
    double values[sFilterRecord::kValueCount] = {};
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool ok = i == 1 ? ParseRowType(fields[i], values[i]) : ParseNumber(fields[i], values[i]);
        if (!ok) {
            reason = "field " + std::to_string(i + 1) + " '" + fields[i] + "' is not a number";
            return false;
        }
    }
    record = MakeFilterRecord(values[0], 0, values + 2, values + 2 + sFilterRecord::kStateCount);
    record.rowType = values[1];
    return true;
}

}  // namespace

bool ReadRawDataFile(std::istream& in, sRawDataFile& file, sInputError& error) {
    file = sRawDataFile();
    cLineReader reader(in);
    if (!ExpectLine(reader, "# ImuToHead:", "the header", error)) return false;
    std::string line;
    for (int row = 0; row < 3; ++row) {
        if (!reader.Next(line)) return reader.FailAtEnd(error, "file ends inside the ImuToHead matrix");
        if (!ParseCommentNumbers(line, "#", file.header.imuToHead[row], 4))
            return reader.Fail(error, "an ImuToHead row needs '#' and four numbers");
    }
    if (!ExpectLine(reader, "#", "the end of the ImuToHead matrix", error)) return false;
    // An orientation-only headset says so here; a Lighthouse head states its factory
    // scales, a WMR head goes straight on.
    if (!reader.Next(line)) return reader.FailAtEnd(error, "file ends before the column line");
    if (line == kOrientationOnlySourceLine) {
        file.header.orientationOnly = true;
        if (!reader.Next(line)) return reader.FailAtEnd(error, "file ends before the column line");
    }
    if (line.rfind("# FactoryAccelScale:", 0) == 0) {
        if (!ParseCommentNumbers(line, "# FactoryAccelScale:", file.header.factoryAccelScale, 3))
            return reader.Fail(error, "expected '# FactoryAccelScale:' and three numbers");
        if (!reader.Next(line)) return reader.FailAtEnd(error, "file ends before the factory gyroscope scale");
        if (!ParseCommentNumbers(line, "# FactoryGyroScale:", file.header.factoryGyroScale, 3))
            return reader.Fail(error, "expected '# FactoryGyroScale:' and three numbers");
        file.header.hasFactoryScales = true;
        if (!ExpectLine(reader, kRawDataColumns, "the column line", error)) return false;
    } else if (line != kRawDataColumns) {
        return reader.Fail(error, std::string("expected '# FactoryAccelScale:' or the column line '") +
                                      kRawDataColumns + "'");
    }

    while (reader.Next(line)) {
        sRawRow row;
        std::string reason;
        if (!ParseRawRow(line, row.record, reason)) return reader.Fail(error, reason);
        row.line = reader.Line();
        file.rows.push_back(row);
    }
    return true;
}

bool ReadFilterFile(std::istream& in, std::vector<sFilterRow>& rows, sInputError& error) {
    rows.clear();
    cLineReader reader(in);
    if (!ExpectLine(reader, kFilterColumns, "the column line", error)) return false;
    std::string line;
    while (reader.Next(line)) {
        sFilterRow row;
        std::string reason;
        if (!ParseFilterRow(line, row.record, reason)) return reader.Fail(error, reason);
        row.line = reader.Line();
        rows.push_back(row);
    }
    return true;
}

}  // namespace halvex::replay
