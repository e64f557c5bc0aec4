// The --poses file: one CSV row per pose update, header line first.
#pragma once

#include "vrhost/host/host_records.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace vrhost {

class cPoseCsvWriter {
public:
    // Throws cHostError when the file cannot be created.
    explicit cPoseCsvWriter(const std::filesystem::path& file);
    void Write(const sPoseUpdate& update, const std::string& serial);
    void Flush();

    static const char* HeaderLine();

private:
    std::ofstream mOut;
    std::filesystem::path mPath;
};

}  // namespace vrhost
