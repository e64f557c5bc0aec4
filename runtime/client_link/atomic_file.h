// Replaces a file's contents so that a reader sees the old file or the new one,
// never a part: write a temporary file beside it, then rename it over the old one.
#pragma once

#include <filesystem>
#include <string>

namespace vrhost::link {

// Creates missing parent folders. On failure the old file is untouched, the
// temporary file removed, and `error` says what failed.
bool ReplaceFileContents(const std::filesystem::path& file, const std::string& contents, std::string& error);

}  // namespace vrhost::link
