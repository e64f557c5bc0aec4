// The --poses file: one CSV row per pose update, header line first. With a truth
// (a scenario), valid poses also carry the true world pose and the errors.
#pragma once

#include "vrhost/host/host_records.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace vrhost {

class cTruthComparison;

class cPoseCsvWriter {
public:
    // Throws cHostError when the file cannot be created.
    explicit cPoseCsvWriter(const std::filesystem::path& file);
    void Write(const sPoseUpdate& update, const std::string& serial);
    void Flush();
    // Must outlive the writer or be replaced before it goes.
    void SetTruth(const cTruthComparison* truth) { mTruth = truth; }

    static const char* HeaderLine();

private:
    std::ofstream mOut;
    std::filesystem::path mPath;
    const cTruthComparison* mTruth = nullptr;
};

}  // namespace vrhost
