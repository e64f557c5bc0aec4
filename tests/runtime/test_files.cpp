#include "test_files.h"

#include "platform/clock.h"

#include <atomic>
#include <fstream>
#include <sstream>

namespace vrhost_test {

namespace fs = std::filesystem;

cScratchFolder::cScratchFolder() {
    static std::atomic<int> counter{0};
    mPath = fs::temp_directory_path() / ("vrhost_test_" + std::to_string(halvex::platform::NowTicks()) + "_" +
                                         std::to_string(counter++));
    fs::create_directories(mPath);
}

cScratchFolder::~cScratchFolder() {
    std::error_code ec;
    fs::remove_all(mPath, ec);
}

fs::path cScratchFolder::Write(const std::string& relative, const std::string& contents) const {
    const fs::path file = mPath / fs::u8path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << contents;
    return file;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path FakeDriverFolder() { return fs::u8path(VRHOST_TEST_FAKE_DRIVER_FOLDER); }
fs::path FakeDriverLibrary() { return fs::u8path(VRHOST_TEST_FAKE_LIBRARY); }
fs::path NoFactoryLibrary() { return fs::u8path(VRHOST_TEST_NOFACTORY_LIBRARY); }

std::string LibraryPathInFolder(const std::string& name) {
#if defined(_WIN32)
    return "bin/win64/driver_" + name + ".dll";
#else
    return "bin/linux64/driver_" + name + ".so";
#endif
}

}  // namespace vrhost_test
