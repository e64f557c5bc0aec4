// Reads the summary back (tests, tools): each line between the markers becomes a
// kind and its key=value fields, quoted values unescaped.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vrhost {

struct sSummaryLine {
    std::string kind;  // "init", "device", "property", ...
    std::map<std::string, std::string> fields;

    // The field's value, or `fallback` when the line has no such field.
    std::string Get(const std::string& key, const std::string& fallback = {}) const;
    // The field as a number ("nan" included); NaN when absent or not a number.
    double Number(const std::string& key) const;
};

// Lines outside the summary markers (the driver log before it) are skipped.
std::vector<sSummaryLine> ReadSummary(const std::string& text);

// The lines of one kind whose field `key` equals `value` (all lines of the kind if `key` is empty).
std::vector<sSummaryLine> SelectLines(const std::vector<sSummaryLine>& lines, const std::string& kind,
                                      const std::string& key = {}, const std::string& value = {});

}  // namespace vrhost
