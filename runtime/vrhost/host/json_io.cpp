#include "vrhost/host/json_io.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace vrhost {
namespace {

using Json = nlohmann::json;

// nlohmann reports the byte offset of the last character read; users want line and column.
std::string DescribeParseError(const std::string& text, const Json::parse_error& e) {
    size_t line = 1;
    size_t column = 1;
    const size_t end = e.byte == 0 ? 0 : std::min<size_t>(e.byte - 1, text.size());
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    std::string reason = e.what();
    // Keep only the library's explanation after its own "line L, column C: " prefix.
    const std::string marker = "column ";
    const size_t at = reason.find(marker);
    if (at != std::string::npos) {
        const size_t colon = reason.find(": ", at);
        if (colon != std::string::npos) reason = reason.substr(colon + 2);
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason;
}

bool Parse(const std::string& text, Json& value, std::string& error) {
    try {
        value = Json::parse(text);
        return true;
    } catch (const Json::parse_error& e) {
        error = DescribeParseError(text, e);
    } catch (const Json::exception& e) {
        error = e.what();
    }
    return false;
}

sSettingValue ToSettingValue(const Json& value) {
    sSettingValue out;
    using Kind = sSettingValue::eKind;
    if (value.is_boolean()) {
        out.kind = Kind::Bool;
        out.boolValue = value.get<bool>();
    } else if (value.is_number_integer() && !value.is_number_unsigned()) {
        out.kind = Kind::Integer;
        out.integerValue = value.get<int64_t>();
        out.realValue = static_cast<double>(out.integerValue);
    } else if (value.is_number_unsigned()) {
        const uint64_t u = value.get<uint64_t>();
        if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            out.kind = Kind::Integer;
            out.integerValue = static_cast<int64_t>(u);
        } else {
            out.kind = Kind::Real;
        }
        out.realValue = static_cast<double>(u);
    } else if (value.is_number_float()) {
        out.kind = Kind::Real;
        out.realValue = value.get<double>();
    } else if (value.is_string()) {
        out.kind = Kind::String;
        out.text = value.get<std::string>();
    } else if (value.is_null()) {
        out.kind = Kind::Null;
    } else {
        out.kind = Kind::Structured;
        out.text = value.dump();
    }
    return out;
}

Json FromSettingValue(const sSettingValue& value) {
    using Kind = sSettingValue::eKind;
    switch (value.kind) {
        case Kind::Bool: return value.boolValue;
        case Kind::Integer: return value.integerValue;
        case Kind::Real: return value.realValue;
        case Kind::String: return value.text;
        case Kind::Structured: {
            Json parsed = Json::parse(value.text, nullptr, false);
            return parsed.is_discarded() ? Json() : parsed;
        }
        case Kind::Null: break;
    }
    return Json();
}

}  // namespace

bool ParseSettingsJson(const std::string& text, SettingsDocument& document, std::string& error) {
    Json root;
    if (!Parse(text, root, error)) return false;
    if (!root.is_object()) {
        error = "the file is not a JSON object of sections";
        return false;
    }
    SettingsDocument parsed;
    for (const auto& [sectionName, section] : root.items()) {
        if (!section.is_object()) {
            error = "top-level member \"" + sectionName + "\" is not a section (a JSON object)";
            return false;
        }
        SettingsSection& keys = parsed[sectionName];
        for (const auto& [key, value] : section.items()) keys[key] = ToSettingValue(value);
    }
    document = std::move(parsed);
    return true;
}

std::string WriteSettingsJson(const SettingsDocument& document) {
    Json root = Json::object();
    for (const auto& [sectionName, section] : document) {
        Json& keys = root[sectionName];
        keys = Json::object();
        for (const auto& [key, value] : section) keys[key] = FromSettingValue(value);
    }
    return root.dump(3, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseManifestJson(const std::string& text, sManifestFields& manifest, std::string& error) {
    Json root;
    if (!Parse(text, root, error)) return false;
    if (!root.is_object()) {
        error = "the manifest is not a JSON object";
        return false;
    }
    const auto name = root.find("name");
    if (name == root.end() || !name->is_string() || name->get<std::string>().empty()) {
        error = "the manifest has no \"name\" string";
        return false;
    }
    manifest.name = name->get<std::string>();
    manifest.directory.clear();
    const auto directory = root.find("directory");
    if (directory != root.end()) {
        if (!directory->is_string()) {
            error = "the manifest's \"directory\" is not a string";
            return false;
        }
        manifest.directory = directory->get<std::string>();
    }
    return true;
}

}  // namespace vrhost
