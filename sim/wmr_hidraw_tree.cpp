#include "wmr_hidraw_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace sim {

namespace {

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

void MakeFolder(const std::string& path) { mkdir(path.c_str(), 0755); }

// Usage page vendor-defined, one application collection, `dataBytes` 8-bit input fields.
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

// The open flags of one of this process's descriptors as /proc shows them; -1 if gone.
int OpenFlags(const char* fdName) {
    std::ifstream info(std::string("/proc/self/fdinfo/") + fdName);
    std::string key;
    while (info >> key) {
        if (key == "flags:") {
            std::string octal;
            info >> octal;
            return static_cast<int>(std::strtol(octal.c_str(), nullptr, 8));
        }
    }
    return -1;
}

// Descriptors of this process open for reading on a named pipe, by the pipe's inode.
std::map<uint64_t, std::vector<int>> PipeReaders() {
    std::map<uint64_t, std::vector<int>> readers;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return readers;
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        // Through /proc, never fstat or fcntl on the descriptor: it belongs to another
        // thread, which may be closing it right now.
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        struct stat info;
        if (stat(link.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode)) continue;
        const int flags = OpenFlags(entry->d_name);
        if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY) continue;
        readers[static_cast<uint64_t>(info.st_ino)].push_back(static_cast<int>(fd));
    }
    closedir(dir);
    return readers;
}

// Writes one report, or fails with EPIPE (never a signal) when the pipe lost its reader.
bool WriteReport(int writer, const std::vector<uint8_t>& report, bool& readerGone) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = write(writer, report.data(), report.size());
    readerGone = written < 0 && errno == EPIPE;
    if (readerGone) {
        // Consume the pending signal before unblocking, so that it is never delivered.
        timespec zero{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written == static_cast<ssize_t>(report.size());
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
    MakeFolder(mRoot + "/spare");  // fresh pipes are made here, out of the watched folder
    mInotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    mWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mInotify >= 0 && mWake >= 0 && inotify_add_watch(mInotify, (mRoot + "/dev").c_str(), IN_OPEN) >= 0)
        mWatcher = std::thread([this] { WatchOpens(); });
}

cHidrawTree::~cHidrawTree() {
    if (mWatcher.joinable()) {
        const uint64_t one = 1;
        (void)!write(mWake, &one, sizeof(one));
        mWatcher.join();
    }
    if (mInotify >= 0) close(mInotify);
    if (mWake >= 0) close(mWake);
    std::vector<int> nodes;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (const auto& entry : mNodes) nodes.push_back(entry.first);
    }
    for (int node : nodes) RemoveInterface(node);
    for (const char* folder : {"/dev", "/spare", "/sys/class/hidraw", "/sys/class", "/sys"}) rmdir((mRoot + folder).c_str());
}

std::string cHidrawTree::NodePath(int node) const { return mRoot + "/dev/hidraw" + std::to_string(node); }

std::string cHidrawTree::NodeFolder(int node) const {
    return mRoot + "/sys/class/hidraw/hidraw" + std::to_string(node);
}

uint64_t cHidrawTree::MakeFifo(const std::string& path) {
    // Made aside and renamed into place: the node's name never goes missing.
    const std::string spare = mRoot + "/spare/fifo" + std::to_string(mSpareCount++);
    if (mkfifo(spare.c_str(), 0600) != 0) return 0;
    struct stat info;
    const uint64_t inode = stat(spare.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_ino) : 0;
    if (rename(spare.c_str(), path.c_str()) != 0) {
        unlink(spare.c_str());
        return 0;
    }
    return inode;
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
    mNodes[node].currentInode = MakeFifo(NodePath(node));
    return node;
}

void cHidrawTree::RemoveInterface(int node) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto it = mNodes.find(node);
    if (it == mNodes.end()) return;
    for (const sPipe& pipe : it->second.pipes)
        if (pipe.writer >= 0) close(pipe.writer);
    mNodes.erase(it);
    const std::string folder = NodeFolder(node);
    unlink(NodePath(node).c_str());
    unlink((folder + "/device/uevent").c_str());
    unlink((folder + "/device/report_descriptor").c_str());
    rmdir((folder + "/device").c_str());
    rmdir(folder.c_str());
}

void cHidrawTree::AttachReaders(int node, sNode& state) {
    const std::map<uint64_t, std::vector<int>> readers = PipeReaders();
    // Readers of the pipe under the node's name: it becomes theirs, a fresh one takes its place.
    const auto current = readers.find(state.currentInode);
    if (current != readers.end()) {
        const int writer = open(NodePath(node).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) {
            state.pipes.push_back({state.currentInode, writer});
            state.currentInode = MakeFifo(NodePath(node));
        }
    }
    // A pipe that two readers came to share: every reader but one moves to a pipe of its own.
    for (size_t p = 0; p < state.pipes.size(); ++p) {
        const auto shared = readers.find(state.pipes[p].inode);
        if (shared == readers.end()) continue;
        for (size_t r = 1; r < shared->second.size(); ++r) {
            const int readerFd = shared->second[r];
            const std::string path = mRoot + "/spare/own" + std::to_string(mSpareCount++);
            if (mkfifo(path.c_str(), 0600) != 0) continue;
            const int flags = fcntl(readerFd, F_GETFL);
            const int fdFlags = fcntl(readerFd, F_GETFD);
            const int ownReader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            const int ownWriter = ownReader >= 0 ? open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC) : -1;
            struct stat info;
            if (ownWriter >= 0 && fstat(ownReader, &info) == 0 && dup2(ownReader, readerFd) == readerFd) {
                fcntl(readerFd, F_SETFL, flags);
                fcntl(readerFd, F_SETFD, fdFlags);
                state.pipes.push_back({static_cast<uint64_t>(info.st_ino), ownWriter});
            } else if (ownWriter >= 0) {
                close(ownWriter);
            }
            if (ownReader >= 0) close(ownReader);
            unlink(path.c_str());
        }
    }
}

bool cHidrawTree::Send(int node, const std::vector<uint8_t>& report) {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto it = mNodes.find(node);
    if (it == mNodes.end()) return false;
    AttachReaders(node, it->second);
    bool delivered = false;
    std::vector<sPipe>& pipes = it->second.pipes;
    for (size_t i = 0; i < pipes.size();) {
        bool readerGone = false;
        delivered = WriteReport(pipes[i].writer, report, readerGone) || delivered;
        if (readerGone) {
            // The reader closed the node: its queue goes with it, as a hidraw reader's does.
            close(pipes[i].writer);
            pipes.erase(pipes.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return delivered;
}

void cHidrawTree::WatchOpens() {
    pollfd fds[2] = {{mInotify, POLLIN, 0}, {mWake, POLLIN, 0}};
    alignas(inotify_event) char events[4096];
    while (poll(fds, 2, -1) >= 0 || errno == EINTR) {
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & POLLIN)) continue;
        while (read(mInotify, events, sizeof(events)) > 0) {
        }
        // Any open in the folder: hand new readers their own pipes at once.
        std::lock_guard<std::mutex> lock(mMutex);
        for (auto& [node, state] : mNodes) AttachReaders(node, state);
    }
}

}  // namespace sim
