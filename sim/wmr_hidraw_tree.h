// A private hidraw tree for simulated HID interfaces (Linux): under a root folder,
// "sys/class/hidraw/hidrawN/device/" with "uevent" (HID_ID) and "report_descriptor",
// and "dev/hidrawN", a named pipe that delivers one whole report per read. A
// driver in this process pointed at the root reaches the interfaces through its
// real hidraw code.
//
// As with hidraw, every reader that has a node open gets every report sent after
// it opened, and a report sent while nobody reads is dropped. A named pipe shares
// one queue among its readers, so each reader is given a pipe of its own: once a
// reader has opened a node's pipe, a fresh pipe takes its place under the node's
// name (at once, on the open's notification), and readers that still came to
// share one pipe are each moved onto a pipe of their own. This works because the
// readers are in this process: their descriptors are found in /proc/self/fd.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Report descriptors: the headset IMU's (input report id 1, 381 bytes with the id),
// and one of a single input report of another id.
std::vector<uint8_t> WmrImuReportDescriptor();
std::vector<uint8_t> SingleReportDescriptor(uint8_t id, size_t bytesWithId);

class cHidrawTree {
public:
    // Creates the folders under `root` (which must exist); removes them again on destruction.
    explicit cHidrawTree(const std::string& root);
    ~cHidrawTree();
    cHidrawTree(const cHidrawTree&) = delete;
    cHidrawTree& operator=(const cHidrawTree&) = delete;

    // Adds hidraw<N> with the next free N; returns N.
    int AddInterface(uint16_t vendor, uint16_t product, const std::vector<uint8_t>& descriptor);
    // The interface is gone: its node and folder are removed, its readers see end of file.
    void RemoveInterface(int node);
    // Queues one report for each reader of the node. False when nobody got it.
    bool Send(int node, const std::vector<uint8_t>& report);

    const std::string& Root() const { return mRoot; }
    std::string NodePath(int node) const;

private:
    struct sPipe {
        uint64_t inode = 0;
        int writer = -1;  // -1 until a reader was seen
    };
    struct sNode {
        uint64_t currentInode = 0;  // the pipe now under the node's name
        std::vector<sPipe> pipes;   // pipes with a reader, one reader each
    };

    std::string NodeFolder(int node) const;
    // Gives every reader of the node a pipe of its own. Called with mMutex held.
    void AttachReaders(int node, sNode& state);
    uint64_t MakeFifo(const std::string& path);
    void WatchOpens();

    std::string mRoot;
    std::mutex mMutex;
    std::map<int, sNode> mNodes;
    int mNextNode = 0;
    int mSpareCount = 0;
    int mInotify = -1;
    int mWake = -1;
    std::thread mWatcher;
};

}  // namespace sim
