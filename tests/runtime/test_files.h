// Files for the vrhost tests: a scratch folder per test and the built fake driver.
#pragma once

#include <filesystem>
#include <string>

namespace vrhost_test {

class cScratchFolder {
public:
    cScratchFolder();
    ~cScratchFolder();
    cScratchFolder(const cScratchFolder&) = delete;
    cScratchFolder& operator=(const cScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return mPath; }
    // Writes `contents` to Path()/relative (folders created); returns the full path.
    std::filesystem::path Write(const std::string& relative, const std::string& contents) const;

private:
    std::filesystem::path mPath;
};

std::string ReadText(const std::filesystem::path& file);

std::filesystem::path FakeDriverFolder();
std::filesystem::path FakeDriverLibrary();
std::filesystem::path NoFactoryLibrary();

// "bin/linux64/driver_<name>.so" or "bin/win64/driver_<name>.dll".
std::string LibraryPathInFolder(const std::string& name);

}  // namespace vrhost_test
