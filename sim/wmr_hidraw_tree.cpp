#include "wmr_hidraw_tree.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace sim {

namespace {

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

void MakeFolder(const std::string& path) { mkdir(path.c_str(), 0755); }

// Usage page vendor-defined, one application collection, `bytes` 8-bit input fields.
std::vector<uint8_t> Descriptor(uint8_t id, size_t dataBytes) {
    const uint16_t count = static_cast<uint16_t>(dataBytes);
    return {0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
            0x09, 0x01,        // Usage (1)
            0xA1, 0x01,        // Collection (Application)
            0x85, id,          // Report ID
            0x15, 0x00,        // Logical Minimum (0)
            0x26, 0xFF, 0x00,  // Logical Maximum (255)
            0x75, 0x08,        // Report Size (8)
            0x96, static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8),  // Report Count
            0x09, 0x02,        // Usage (2)
            0x81, 0x02,        // Input (Data, Variable, Absolute)
            0xC0};             // End Collection
}

}  // namespace

std::vector<uint8_t> WmrImuReportDescriptor() { return Descriptor(1, 380); }

std::vector<uint8_t> SingleReportDescriptor(uint8_t id, size_t bytesWithId) {
    return Descriptor(id, bytesWithId > 1 ? bytesWithId - 1 : 1);
}

cHidrawTree::cHidrawTree(const std::string& root) : mRoot(root) {
    MakeFolder(mRoot + "/sys");
    MakeFolder(mRoot + "/sys/class");
    MakeFolder(mRoot + "/sys/class/hidraw");
    MakeFolder(mRoot + "/dev");
}

cHidrawTree::~cHidrawTree() {
    std::vector<int> nodes;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (const auto& entry : mWriters) nodes.push_back(entry.first);
    }
    for (int node : nodes) RemoveInterface(node);
    rmdir((mRoot + "/dev").c_str());
    rmdir((mRoot + "/sys/class/hidraw").c_str());
    rmdir((mRoot + "/sys/class").c_str());
    rmdir((mRoot + "/sys").c_str());
}

std::string cHidrawTree::NodePath(int node) const { return mRoot + "/dev/hidraw" + std::to_string(node); }

std::string cHidrawTree::NodeFolder(int node) const {
    return mRoot + "/sys/class/hidraw/hidraw" + std::to_string(node);
}

int cHidrawTree::AddInterface(uint16_t vendor, uint16_t product, const std::vector<uint8_t>& descriptor) {
    std::lock_guard<std::mutex> lock(mMutex);
    const int node = mNextNode++;
    const std::string folder = NodeFolder(node);
    MakeFolder(folder);
    MakeFolder(folder + "/device");
    char id[64];
    std::snprintf(id, sizeof id, "HID_ID=0003:%08X:%08X\n", vendor, product);
    WriteFile(folder + "/device/uevent", std::string("DRIVER=hid-generic\n") + id + "HID_NAME=Simulated headset\n");
    WriteFile(folder + "/device/report_descriptor", std::string(descriptor.begin(), descriptor.end()));
    mkfifo(NodePath(node).c_str(), 0600);
    mWriters[node] = -1;
    return node;
}

void cHidrawTree::RemoveInterface(int node) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto it = mWriters.find(node);
    if (it == mWriters.end()) return;
    if (it->second >= 0) close(it->second);
    mWriters.erase(it);
    const std::string folder = NodeFolder(node);
    unlink(NodePath(node).c_str());
    unlink((folder + "/device/uevent").c_str());
    unlink((folder + "/device/report_descriptor").c_str());
    rmdir((folder + "/device").c_str());
    rmdir(folder.c_str());
}

bool cHidrawTree::Send(int node, const std::vector<uint8_t>& report) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto it = mWriters.find(node);
    if (it == mWriters.end()) return false;
    int& writer = it->second;
    if (writer < 0) {
        // Opening the write end fails (ENXIO) while nobody has the node open for reading.
        writer = open(NodePath(node).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer < 0) return false;
    }
    // A reader that left would raise SIGPIPE: block it in this thread, take EPIPE.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = write(writer, report.data(), report.size());
    const int error = errno;
    if (written < 0 && error == EPIPE) {
        // Consume the pending signal before unblocking, so it is never delivered.
        timespec zero{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (written == static_cast<ssize_t>(report.size())) return true;
    if (written < 0 && error == EPIPE) {
        // The reader closed the node: its queue goes with it, as a hidraw reader's does.
        close(writer);
        writer = -1;
    }
    return false;
}

}  // namespace sim
