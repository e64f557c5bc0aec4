// HID over Linux hidraw: /sys/class/hidraw/hidrawN names the interfaces,
// /dev/hidrawN delivers one input report per read.
#include "platform/hid.h"

#include "platform/hid_report_descriptor.h"
#include "platform/sleep.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace halvex::platform {

namespace {

// Where "/" is for the hidraw tree; the test runtime points it at a simulated one.
std::string HidrawRoot() {
    const char* root = std::getenv("HALVEX_HIDRAW_ROOT");
    return root ? root : "";
}

std::string SysfsFolderOf(const std::string& nodePath) {
    const size_t slash = nodePath.rfind('/');
    const std::string name = slash == std::string::npos ? nodePath : nodePath.substr(slash + 1);
    return HidrawRoot() + "/sys/class/hidraw/" + name + "/device";
}

// "hidraw12" -> 12; anything else sorts last.
long NodeNumber(const std::string& name) {
    char* end = nullptr;
    const long number = std::strtol(name.c_str() + 6, &end, 10);
    return end && *end == '\0' && end != name.c_str() + 6 ? number : 1L << 30;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// HID_ID=<bus>:<vendor>:<product>, each in hexadecimal.
bool AttributesFromUevent(const std::string& folder, sHidAttributes& attributes) {
    std::string content;
    if (!ReadWholeFile(folder + "/uevent", content)) return false;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        unsigned bus = 0, vendor = 0, product = 0;
        if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, &vendor, &product) == 3) {
            attributes.vendorId = static_cast<uint16_t>(vendor);
            attributes.productId = static_cast<uint16_t>(product);
            attributes.versionNumber = 0;
            return true;
        }
    }
    return false;
}

// A poll time-out in milliseconds (-1: none), bounded where no signal can end the wait.
int PollMilliseconds(double seconds, bool signalled) {
    if (!signalled && (seconds < 0.0 || seconds > kHidUnsignalledWaitSeconds)) seconds = kHidUnsignalledWaitSeconds;
    if (seconds < 0.0) return -1;
    return static_cast<int>(std::min(std::ceil(seconds * 1000.0), 1e9));
}

}  // namespace

std::vector<std::string> EnumerateHidInterfaces() {
    std::vector<std::string> names;
    const std::string classFolder = HidrawRoot() + "/sys/class/hidraw";
    if (DIR* dir = opendir(classFolder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strncmp(entry->d_name, "hidraw", 6) == 0) names.emplace_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NodeNumber(a) != NodeNumber(b) ? NodeNumber(a) < NodeNumber(b) : a < b;
    });
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(HidrawRoot() + "/dev/" + name);
    return paths;
}

cHidStopSignal::cHidStopSignal() : mNative(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (mNative < 0) mCreationError = static_cast<uint32_t>(errno);
}

cHidStopSignal::cHidStopSignal(sUnavailable) : mNative(-1), mCreationError(EMFILE) {}

bool cHidStopSignal::Valid() const { return mNative >= 0; }

bool cHidStopSignal::Wait(double seconds) const {
    const int milliseconds = PollMilliseconds(seconds, Valid());
    if (!Valid()) {
        SleepFor(milliseconds / 1000.0);
        return false;
    }
    pollfd fd{static_cast<int>(mNative), POLLIN, 0};
    // An interrupted wait ends early; callers wait in a loop on their own stop flag.
    return poll(&fd, 1, milliseconds) > 0 && (fd.revents & POLLIN);
}

cHidStopSignal::~cHidStopSignal() {
    if (mNative >= 0) close(static_cast<int>(mNative));
}

void cHidStopSignal::Raise() {
    const uint64_t one = 1;
    if (mNative >= 0) (void)!write(static_cast<int>(mNative), &one, sizeof(one));
}

void cHidStopSignal::Clear() {
    uint64_t count = 0;
    if (mNative >= 0) (void)!read(static_cast<int>(mNative), &count, sizeof(count));
}

struct cHidDevice::sState {
    int fd = -1;
    std::string path;
};

cHidDevice::cHidDevice(std::unique_ptr<sState> state) : mState(std::move(state)) {}

cHidDevice::~cHidDevice() {
    if (mState && mState->fd >= 0) close(mState->fd);
}

std::unique_ptr<cHidDevice> cHidDevice::Open(const std::string& path, uint32_t& error) {
    // Non-blocking: reads wait in poll, where a stop request can end them.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = static_cast<uint32_t>(errno);
        return nullptr;
    }
    auto state = std::make_unique<sState>();
    state->fd = fd;
    state->path = path;
    error = 0;
    return std::unique_ptr<cHidDevice>(new cHidDevice(std::move(state)));
}

bool cHidDevice::GetAttributes(sHidAttributes& attributes) const {
    hidraw_devinfo info{};
    if (ioctl(mState->fd, HIDIOCGRAWINFO, &info) == 0) {
        attributes.vendorId = static_cast<uint16_t>(info.vendor);
        attributes.productId = static_cast<uint16_t>(info.product);
        attributes.versionNumber = 0;
        return true;
    }
    return AttributesFromUevent(SysfsFolderOf(mState->path), attributes);
}

bool cHidDevice::GetInputReportLength(size_t& length) const {
    std::string descriptor;
    int size = 0;
    if (ioctl(mState->fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
        hidraw_report_descriptor raw{};
        raw.size = static_cast<uint32_t>(size);
        if (ioctl(mState->fd, HIDIOCGRDESC, &raw) == 0)
            descriptor.assign(reinterpret_cast<const char*>(raw.value), raw.size);
    }
    if (descriptor.empty() && !ReadWholeFile(SysfsFolderOf(mState->path) + "/report_descriptor", descriptor))
        return false;
    length = LongestInputReportLength(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size());
    return length > 0;
}

void cHidDevice::SetInputQueueSize(uint32_t /*reports*/) {
    // hidraw keeps its own fixed queue per reader.
}

eHidRead cHidDevice::ReadReport(uint8_t* buffer, size_t length, const cHidStopSignal& stop, double timeoutSeconds,
                                size_t& bytesRead, uint32_t& error) {
    bytesRead = 0;
    // Without a stop signal only the device is polled, never longer than the bound.
    const nfds_t count = stop.Valid() ? 2 : 1;
    pollfd fds[2] = {{mState->fd, POLLIN, 0}, {static_cast<int>(stop.Native()), POLLIN, 0}};
    const int limit = PollMilliseconds(timeoutSeconds, stop.Valid());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit < 0 ? 0 : limit);
    for (;;) {
        int wait = limit;
        if (limit >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        const int ready = poll(fds, count, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = static_cast<uint32_t>(errno);
            return eHidRead::Error;
        }
        if (ready == 0) return eHidRead::Timeout;
        if (count == 2 && (fds[1].revents & POLLIN)) return eHidRead::Stopped;
        if (fds[0].revents == 0) continue;
        const ssize_t got = read(mState->fd, buffer, length);
        if (got > 0) {
            bytesRead = static_cast<size_t>(got);
            error = 0;
            return eHidRead::Report;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file: the device went away under the reader.
        error = got == 0 ? static_cast<uint32_t>(EIO) : static_cast<uint32_t>(errno);
        return eHidRead::Error;
    }
}

long cHidDevice::NativeValue() const { return mState->fd; }

uint32_t HidInvalidHandleError() { return EBADF; }

}  // namespace halvex::platform
