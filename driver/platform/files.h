// Files and folders named by UTF-8 paths, on every platform (Windows' narrow file
// functions would take the ANSI code page instead).
#pragma once

#include <cstdio>
#include <string>

namespace halvex::platform {

// Creates `path` and every missing parent. True when the folder exists afterwards.
bool CreateDirectories(const std::string& path);

// fopen with a UTF-8 path; nullptr on failure.
std::FILE* OpenFile(const std::string& path, const char* mode);

}  // namespace halvex::platform
