#include "path_registry_document.h"

#include <cwctype>
#include <system_error>

namespace halvex::pathreg {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDrivers = "external_drivers";

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The form two spellings of one folder share.
fs::path::string_type ComparableForm(const std::string& folder) {
    fs::path path = fs::u8path(folder);
#if defined(_WIN32)
    path.make_preferred();
#endif
    path = path.lexically_normal();
    fs::path::string_type form = path.native();
    while (form.size() > 1 && (form.back() == fs::path::preferred_separator)) form.pop_back();
#if defined(_WIN32)
    for (auto& c : form) c = static_cast<wchar_t>(std::towlower(c));
#endif
    return form;
}

// Entries of this driver's name other than `folder`, held or not.
void SweepList(Json& list, const std::string& folder, const std::string& driverName, bool keepFirstOwn,
               const DriverFolderCheck& holdsDriver, sRegistryEdit& edit) {
    Json kept = Json::array();
    bool ownKept = false;
    for (const Json& entry : list) {
        if (!entry.is_string()) {
            kept.push_back(entry);
            continue;
        }
        const std::string path = entry.get<std::string>();
        if (SameFolder(path, folder)) {
            edit.wasListed = true;
            if (keepFirstOwn && !ownKept) {
                ownKept = true;
                kept.push_back(entry);
            } else {
                edit.removedEntries.push_back(path);
            }
            continue;
        }
        if (FolderNamedAfter(path, driverName)) {
            if (!holdsDriver(path)) {
                edit.removedStale.push_back(path);
                continue;
            }
            edit.otherCopies.push_back(path);
        }
        kept.push_back(entry);
    }
    edit.changed = !edit.removedEntries.empty() || !edit.removedStale.empty();
    list = std::move(kept);
}

}  // namespace

bool ParsePathRegistry(const std::string& text, Json& root, std::string& error) {
    if (Blank(text)) {
        root = Json::object();
        return true;
    }
    Json parsed = Json::parse(text, nullptr, false);
    if (parsed.is_discarded()) {
        // The parser's own message, for the line and column.
        try {
            const Json unused = Json::parse(text);
            (void)unused;
            error = "not valid JSON";
        } catch (const nlohmann::json::parse_error& e) {
            error = e.what();
        }
        return false;
    }
    if (!parsed.is_object()) {
        error = "not a JSON object";
        return false;
    }
    if (parsed.contains(kDrivers) && !parsed[kDrivers].is_array()) {
        error = std::string("\"") + kDrivers + "\" is not a list";
        return false;
    }
    root = std::move(parsed);
    return true;
}

std::string SerializePathRegistry(const Json& root) {
    // The runtime's own writer indents by three spaces.
    return root.dump(3, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string AbsoluteFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    if (ec) absolute = folder;
    absolute = absolute.lexically_normal();
#if defined(_WIN32)
    absolute.make_preferred();
#endif
    std::string text = absolute.u8string();
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) {
        // A root ("C:\", "/") keeps its separator.
        if (text.size() == 3 && text[1] == ':') break;
        text.pop_back();
    }
    return text;
}

bool SameFolder(const std::string& a, const std::string& b) { return ComparableForm(a) == ComparableForm(b); }

bool FolderNamedAfter(const std::string& folder, const std::string& driverName) {
    const fs::path::string_type form = ComparableForm(folder);
    const fs::path last = fs::path(form).filename();
    return !driverName.empty() && last.native() == ComparableForm(driverName);
}

sRegistryEdit AddDriverFolder(Json& root, const std::string& folder, const std::string& driverName,
                              const DriverFolderCheck& holdsDriver) {
    sRegistryEdit edit;
    const bool fresh = root.empty();
    if (!root.contains(kDrivers)) root[kDrivers] = Json::array();
    SweepList(root[kDrivers], folder, driverName, true, holdsDriver, edit);
    if (!edit.wasListed) {
        root[kDrivers].push_back(folder);
        edit.changed = true;
    }
    if (fresh) {
        // What the runtime's own writer puts in a new file.
        root["jsonid"] = "vrpathreg";
        root["version"] = 1;
    }
    return edit;
}

sRegistryEdit RemoveDriverFolder(Json& root, const std::string& folder, const std::string& driverName,
                                 const DriverFolderCheck& holdsDriver) {
    sRegistryEdit edit;
    if (!root.contains(kDrivers)) return edit;
    SweepList(root[kDrivers], folder, driverName, false, holdsDriver, edit);
    return edit;
}

bool IsListed(const Json& root, const std::string& folder) {
    for (const std::string& entry : StringEntries(root, kDrivers)) {
        if (SameFolder(entry, folder)) return true;
    }
    return false;
}

std::vector<std::string> StringEntries(const Json& root, const char* key) {
    std::vector<std::string> entries;
    if (!root.is_object() || !root.contains(key) || !root[key].is_array()) return entries;
    for (const Json& entry : root[key]) {
        if (entry.is_string()) entries.push_back(entry.get<std::string>());
    }
    return entries;
}

}  // namespace halvex::pathreg
