#include "platform/hid_report_descriptor.h"

#include <map>
#include <vector>

namespace halvex::platform {

namespace {

enum eItemType { Main = 0, Global = 1 };
enum eMainTag { Input = 8 };
enum eGlobalTag { ReportSize = 7, ReportId = 8, ReportCount = 9, Push = 10, Pop = 11 };

struct sGlobals {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

}  // namespace

size_t LongestInputReportLength(const uint8_t* descriptor, size_t size) {
    std::map<uint32_t, uint64_t> bitsById;
    std::vector<sGlobals> stack;
    sGlobals globals;
    bool numbered = false;
    size_t i = 0;
    while (i < size) {
        const uint8_t prefix = descriptor[i++];
        if (prefix == 0xFE) {  // long item: size byte, tag byte, data
            if (i >= size) break;
            i += 2 + descriptor[i];
            continue;
        }
        const size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + dataSize > size) break;  // a cut item ends the walk
        uint32_t data = 0;
        for (size_t k = 0; k < dataSize; ++k) data |= static_cast<uint32_t>(descriptor[i + k]) << (8 * k);
        i += dataSize;
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == Main && tag == Input) {
            bitsById[globals.reportId] += static_cast<uint64_t>(globals.reportSize) * globals.reportCount;
        } else if (type == Global) {
            switch (tag) {
            case ReportSize: globals.reportSize = data; break;
            case ReportCount: globals.reportCount = data; break;
            case ReportId:
                globals.reportId = data;
                numbered = true;
                break;
            case Push: stack.push_back(globals); break;
            case Pop:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
        }
    }
    uint64_t longest = 0;
    for (const auto& entry : bitsById) longest = entry.second > longest ? entry.second : longest;
    if (longest == 0) return 0;
    return static_cast<size_t>((longest + 7) / 8) + (numbered ? 1 : 0);
}

}  // namespace halvex::platform
