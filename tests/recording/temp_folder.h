// A fresh folder under the system's temporary folder, removed with its contents.
#pragma once

#include "platform/files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace halvex::test {

class cTempFolder {
public:
    cTempFolder() {
        std::random_device random;
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        mPath = std::filesystem::temp_directory_path() /
                ("halvex_recording_" + std::to_string(random()) + "_" + std::to_string(ticks));
        std::filesystem::create_directories(mPath);
    }
    ~cTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    cTempFolder(const cTempFolder&) = delete;
    cTempFolder& operator=(const cTempFolder&) = delete;

    const std::filesystem::path& Path() const { return mPath; }
    // UTF-8, with a trailing '/'.
    std::string Utf8() const { return mPath.u8string() + "/"; }

private:
    std::filesystem::path mPath;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& utf8Path) {
    std::string content;
    std::FILE* file = platform::OpenFile(utf8Path, "rb");
    if (!file) return content;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
    std::fclose(file);
    return content;
}

// Splits on '\n'; a final line without one is kept.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

}  // namespace halvex::test
