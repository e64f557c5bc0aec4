// Fixed-size text fields of the library's records: always terminated, cut when too long.
#pragma once

#include <cstddef>
#include <cstring>

namespace tessaly {

inline void CopyText(char* out, size_t width, const char* text) {
    std::strncpy(out, text, width - 1);
    out[width - 1] = '\0';
}

}  // namespace tessaly
