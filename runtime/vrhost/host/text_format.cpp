#include "vrhost/host/text_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vrhost {

std::string FormatNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[40];
    for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof(buffer), "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

std::string QuoteText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char escape[8];
                    std::snprintf(escape, sizeof(escape), "\\x%02x", u);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace vrhost
