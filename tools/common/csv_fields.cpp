#include "csv_fields.h"

#include <cctype>
#include <cstdlib>

namespace halvex::tools {

std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        fields.push_back(Trimmed(line.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

bool ParseNumber(const std::string& field, double& value) {
    if (field.empty()) return false;
    char* end = nullptr;
    value = std::strtod(field.c_str(), &end);
    // Out-of-range values come back as inf or 0; both are kept as parsed.
    return end == field.c_str() + field.size();
}

bool ParseNumberList(const std::string& text, double* values, int count) {
    const std::vector<std::string> fields = SplitFields(text);
    if (static_cast<int>(fields.size()) != count) return false;
    for (int i = 0; i < count; ++i) {
        if (!ParseNumber(fields[i], values[i])) return false;
    }
    return true;
}

}  // namespace halvex::tools
