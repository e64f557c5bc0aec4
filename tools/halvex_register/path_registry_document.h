// The runtime's path registry as a JSON document, and the edits that register or
// unregister one driver folder in its "external_drivers" list. Every other key and
// entry is kept as it was, in its place. No file access here: whether a listed
// folder still holds a driver is asked of the caller.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace halvex::pathreg {

using Json = nlohmann::ordered_json;

// False with a reason when the text is not a registry the edits could keep whole:
// not JSON, not an object, or an "external_drivers" that is not a list. Empty or
// blank text is an empty registry.
bool ParsePathRegistry(const std::string& text, Json& root, std::string& error);
std::string SerializePathRegistry(const Json& root);

// The folder as the registry should name it: absolute, normalised, no trailing
// separator, native separators; UTF-8.
std::string AbsoluteFolder(const std::filesystem::path& folder);
// Two spellings of one folder: normalised, trailing separators ignored, and on
// Windows either separator and any letter case.
bool SameFolder(const std::string& a, const std::string& b);
// The last component of a listed folder, compared with a driver's name the way
// SameFolder compares folders.
bool FolderNamedAfter(const std::string& folder, const std::string& driverName);

// True when the folder still holds a driver (its manifest is there).
using DriverFolderCheck = std::function<bool(const std::string& folder)>;

struct sRegistryEdit {
    bool changed = false;
    bool wasListed = false;                   // the folder was in the list before
    std::vector<std::string> removedStale;    // other folders of this driver that hold no driver any more
    std::vector<std::string> removedEntries;  // spellings of the folder itself taken out (remove; duplicates on install)
    std::vector<std::string> otherCopies;     // other folders of this driver that still hold one, kept
};

// Lists `folder` once (appended when missing) and drops stale folders of the same
// driver name.
sRegistryEdit AddDriverFolder(Json& root, const std::string& folder, const std::string& driverName,
                              const DriverFolderCheck& holdsDriver);
// Drops every spelling of `folder`, and stale folders of the same driver name.
sRegistryEdit RemoveDriverFolder(Json& root, const std::string& folder, const std::string& driverName,
                                 const DriverFolderCheck& holdsDriver);

// True when some entry of "external_drivers" names `folder`.
bool IsListed(const Json& root, const std::string& folder);
// The string entries of a list-valued key ("runtime", "config", "log", "external_drivers").
std::vector<std::string> StringEntries(const Json& root, const char* key);

}  // namespace halvex::pathreg
