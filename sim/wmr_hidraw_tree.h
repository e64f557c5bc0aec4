// A private hidraw tree for simulated HID interfaces (Linux): under a root folder,
// "sys/class/hidraw/hidrawN/device/" with "uevent" (HID_ID) and "report_descriptor",
// and "dev/hidrawN", a named pipe that delivers one whole report per read. A
// driver pointed at the root reaches the interfaces through its real hidraw code.
//
// As with hidraw, reports reach only a reader that has the node open: a report
// sent while nobody reads is dropped.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
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
    // The interface is gone: its node and folder are removed, a reader sees end of file.
    void RemoveInterface(int node);
    // Queues one report for the node's reader. False when nobody reads, the
    // reader's queue is full or the node is gone (the report is then dropped).
    bool Send(int node, const std::vector<uint8_t>& report);

    const std::string& Root() const { return mRoot; }
    std::string NodePath(int node) const;

private:
    std::string NodeFolder(int node) const;

    std::string mRoot;
    std::mutex mMutex;
    std::map<int, int> mWriters;  // node -> write end, -1 while no reader was seen
    int mNextNode = 0;
};

}  // namespace sim
