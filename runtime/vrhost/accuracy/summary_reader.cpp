#include "vrhost/accuracy/summary_reader.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace vrhost {
namespace {

// Undoes QuoteText; `pos` is at the opening quote and ends after the closing one.
std::string ReadQuoted(const std::string& line, size_t& pos) {
    std::string out;
    ++pos;
    while (pos < line.size() && line[pos] != '"') {
        char c = line[pos++];
        if (c == '\\' && pos < line.size()) {
            const char e = line[pos++];
            switch (e) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                case 'x':
                    if (pos + 2 <= line.size()) {
                        c = static_cast<char>(std::strtol(line.substr(pos, 2).c_str(), nullptr, 16));
                        pos += 2;
                    }
                    break;
                default: c = e;
            }
        }
        out += c;
    }
    if (pos < line.size()) ++pos;
    return out;
}

sSummaryLine ParseLine(const std::string& line) {
    sSummaryLine parsed;
    size_t pos = line.find(' ');
    parsed.kind = line.substr(0, pos);
    while (pos != std::string::npos && pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        const size_t equals = line.find('=', pos);
        if (equals == std::string::npos) break;
        const std::string key = line.substr(pos, equals - pos);
        pos = equals + 1;
        std::string value;
        if (pos < line.size() && line[pos] == '"') {
            value = ReadQuoted(line, pos);
        } else {
            const size_t end = line.find(' ', pos);
            value = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end;
        }
        parsed.fields[key] = value;
    }
    return parsed;
}

}  // namespace

std::string sSummaryLine::Get(const std::string& key, const std::string& fallback) const {
    const auto found = fields.find(key);
    return found == fields.end() ? fallback : found->second;
}

double sSummaryLine::Number(const std::string& key) const {
    const auto found = fields.find(key);
    if (found == fields.end() || found->second.empty()) return std::nan("");
    char* end = nullptr;
    const double value = std::strtod(found->second.c_str(), &end);
    return *end == '\0' ? value : std::nan("");
}

std::vector<sSummaryLine> ReadSummary(const std::string& text) {
    std::vector<sSummaryLine> lines;
    std::istringstream in(text);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "--- vrhost summary ---") {
            inside = true;
            lines.clear();  // the last summary counts
        } else if (line == "--- end of summary ---") {
            inside = false;
        } else if (inside && !line.empty()) {
            lines.push_back(ParseLine(line));
        }
    }
    return lines;
}

std::vector<sSummaryLine> SelectLines(const std::vector<sSummaryLine>& lines, const std::string& kind,
                                      const std::string& key, const std::string& value) {
    std::vector<sSummaryLine> selected;
    for (const sSummaryLine& line : lines) {
        if (line.kind == kind && (key.empty() || line.Get(key) == value)) selected.push_back(line);
    }
    return selected;
}

}  // namespace vrhost
