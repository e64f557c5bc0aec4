// Writes one JSON object as text, member by member. Numbers that are not finite
// become null: JSON has no NaN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace halvex::requests {

std::string JsonQuoted(const std::string& text);

class cJsonObject {
public:
    cJsonObject& Text(const char* key, const std::string& value);
    cJsonObject& Bool(const char* key, bool value);
    cJsonObject& Int(const char* key, int64_t value);
    cJsonObject& Number(const char* key, double value);
    cJsonObject& Null(const char* key);
    // An array of numbers, each as Number writes it.
    cJsonObject& Numbers(const char* key, const double* values, size_t count);
    // `json` is a finished value: an object, an array, a number.
    cJsonObject& Raw(const char* key, const std::string& json);
    // The object closed; the writer is spent afterwards.
    std::string Finish();

private:
    void Key(const char* key);
    std::string mText = "{";
};

// "[a,b,...]" of finished values.
std::string JsonArray(const std::string* values, size_t count);

}  // namespace halvex::requests
