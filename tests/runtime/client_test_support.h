// Shared by the client library and client service tests: a private state folder for
// the runtime's files, and vrhost's client service in the test's own process with a
// device table the test controls. No OpenVR header here: the client tests see only
// the client side's declarations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace halvex::test {

// Points the runtime's state folder (XDG_STATE_HOME or LOCALAPPDATA) at a fresh
// temporary folder for the test's lifetime.
class cPrivateStateFolder {
public:
    cPrivateStateFolder();
    ~cPrivateStateFolder();
    const std::filesystem::path& Root() const { return mRoot; }
    // Where the runtime keeps its files: Root()/vrhost.
    std::filesystem::path Folder() const { return mRoot / "vrhost"; }

private:
    std::filesystem::path mRoot;
    std::string mVariable;
    std::string mOldValue;
    bool mHadOldValue = false;
};

// vrhost's client service over an in-memory settings store (written back to
// `settingsFile`) and a device table the test fills.
class cInProcessRuntime {
public:
    explicit cInProcessRuntime(const std::filesystem::path& settingsFile);
    ~cInProcessRuntime();

    // Listens and registers; false (and a test failure) when it cannot.
    bool Start();
    void Stop(int graceMs = 1000);
    uint16_t Port() const;
    size_t ClientCount() const;

    void AddDevice(uint32_t index, int32_t deviceClass, const std::string& trackingSystem,
                   const std::string& registeredType);
    void RemoveDevice(uint32_t index);
    void PressButton(uint32_t index, uint32_t button);
    // The store's value, as the driver would read it.
    int32_t Int32Setting(const std::string& section, const std::string& key);

private:
    struct sParts;
    std::unique_ptr<sParts> mParts;
};

std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);

}  // namespace halvex::test
