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

// Replaces the file at `path` with `contents` so that a reader, or the next session
// after a crash, finds the old file or the new one, never a part: a temporary file
// beside it, flushed to disk, then renamed over it. The folder must exist. False with
// the reason in `error`; the old file is then untouched and the temporary one gone.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error);

}  // namespace halvex::platform
