// Splitting and reading the comma-separated lines the tools take as input.
#pragma once

#include <string>
#include <vector>

namespace halvex::tools {

std::string Trimmed(const std::string& text);

// Fields between commas, each trimmed; an empty line gives one empty field.
std::vector<std::string> SplitFields(const std::string& line);

// The whole field must be a number (inf and nan included); false otherwise.
bool ParseNumber(const std::string& field, double& value);

// "x,y,z": exactly `count` numbers separated by commas.
bool ParseNumberList(const std::string& text, double* values, int count);

}  // namespace halvex::tools
