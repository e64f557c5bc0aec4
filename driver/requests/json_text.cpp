#include "requests/json_text.h"

#include <cmath>
#include <cstdio>

namespace halvex::requests {

std::string JsonQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted.push_back('\\');
            quoted.push_back(c);
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('"');
    return quoted;
}

void cJsonObject::Key(const char* key) {
    if (mText.size() > 1) mText.push_back(',');
    mText += JsonQuoted(key);
    mText.push_back(':');
}

cJsonObject& cJsonObject::Text(const char* key, const std::string& value) {
    Key(key);
    mText += JsonQuoted(value);
    return *this;
}

cJsonObject& cJsonObject::Bool(const char* key, bool value) {
    Key(key);
    mText += value ? "true" : "false";
    return *this;
}

cJsonObject& cJsonObject::Int(const char* key, int64_t value) {
    Key(key);
    mText += std::to_string(value);
    return *this;
}

namespace {

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.6g", value);
    // A host that set a locale may have written a decimal comma.
    for (char* c = text; *c; ++c)
        if (*c == ',') *c = '.';
    out += text;
}

}  // namespace

cJsonObject& cJsonObject::Number(const char* key, double value) {
    Key(key);
    AppendNumber(mText, value);
    return *this;
}

cJsonObject& cJsonObject::Numbers(const char* key, const double* values, size_t count) {
    Key(key);
    mText.push_back('[');
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) mText.push_back(',');
        AppendNumber(mText, values[i]);
    }
    mText.push_back(']');
    return *this;
}

cJsonObject& cJsonObject::Null(const char* key) {
    Key(key);
    mText += "null";
    return *this;
}

cJsonObject& cJsonObject::Raw(const char* key, const std::string& json) {
    Key(key);
    mText += json;
    return *this;
}

std::string cJsonObject::Finish() {
    mText.push_back('}');
    return std::move(mText);
}

std::string JsonArray(const std::string* values, size_t count) {
    std::string text = "[";
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text.push_back(',');
        text += values[i];
    }
    text.push_back(']');
    return text;
}

}  // namespace halvex::requests
