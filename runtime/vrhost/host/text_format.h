// Text forms shared by the summary, the pose CSV and the property listing: one
// place decides how numbers and strings are printed, so the output parses alike.
#pragma once

#include <string>

namespace vrhost {

// Shortest form that reads back to the same double ("%.17g" trimmed), "nan"/"inf".
std::string FormatNumber(double value);
// Double-quoted, with \" \\ \n \r \t and \xNN escapes, so a value never breaks a line.
std::string QuoteText(const std::string& text);

}  // namespace vrhost
