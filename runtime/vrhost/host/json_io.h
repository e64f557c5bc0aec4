// Every use of the JSON library in vrhost goes through this file, so the library
// can be swapped without touching the settings store or the manifest reader.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vrhost {

// One value of a settings key, as the settings file gave it.
struct sSettingValue {
    enum class eKind { Null, Bool, Integer, Real, String, Structured };
    eKind kind = eKind::Null;
    bool boolValue = false;
    int64_t integerValue = 0;  // Integer
    double realValue = 0.0;    // Real, and Integer converted
    std::string text;          // String; Structured: the value as compact JSON text
};

using SettingsSection = std::map<std::string, sSettingValue>;
using SettingsDocument = std::map<std::string, SettingsSection>;

// Parses a settings file in the runtime's format: a JSON object of sections, each
// an object of keys. On failure returns false and sets `error` to a one-line
// reason that says where ("line 3, column 7: ...").
bool ParseSettingsJson(const std::string& text, SettingsDocument& document, std::string& error);

// The settings file text of a document: every section and key as read, values of a
// type vrhost does not interpret (arrays, objects) written back unchanged.
std::string WriteSettingsJson(const SettingsDocument& document);

// The fields of a driver manifest that vrhost uses.
struct sManifestFields {
    std::string name;
    std::string directory;  // optional; empty when absent
};

bool ParseManifestJson(const std::string& text, sManifestFields& manifest, std::string& error);

}  // namespace vrhost
