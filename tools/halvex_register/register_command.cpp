#include "register_command.h"

#include "path_registry_document.h"
#include "path_registry_location.h"
#include "registry_file.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace halvex::pathreg {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifest = "driver.vrdrivermanifest";

std::string Usage() {
    return "usage: halvex_register install|remove|status [DRIVER_FOLDER]\n"
           "Lists the driver folder in the VR runtime's path registry (install), takes it out\n"
           "(remove), or says whether it is listed and which runtime, config and log folders\n"
           "the registry names (status). DRIVER_FOLDER defaults to the \"halvex\" folder of\n"
           "this installation. VR_PATHREG_OVERRIDE names another registry file.\n"
           "Exit status: 0 done (status: registered), 1 failed (status: not registered),\n"
           "2 the registry cannot be parsed (left as it is), 64 bad command line.\n";
}

bool HoldsDriver(const std::string& folder) {
    std::error_code ec;
    return fs::is_regular_file(fs::u8path(folder) / kManifest, ec);
}

// The manifest's "name", or empty with a reason.
std::string ManifestName(const fs::path& folder, std::string& error) {
    std::ifstream in(folder / kManifest, std::ios::binary);
    if (!in) {
        error = folder.u8string() + " is not a driver folder: it has no " + kManifest;
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    const Json manifest = Json::parse(text.str(), nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object() || !manifest.contains("name") || !manifest["name"].is_string() ||
        manifest["name"].get<std::string>().empty()) {
        error = (folder / kManifest).u8string() + " names no driver";
        return {};
    }
    return manifest["name"].get<std::string>();
}

struct sLoadedRegistry {
    fs::path file;
    sRegistryFileState state;
    Json root;
};

// kExitOk, or the exit status with its message already written.
int LoadRegistry(sLoadedRegistry& registry, std::ostream& err) {
    std::string error;
    registry.file = PathRegistryFile(error);
    if (registry.file.empty()) {
        err << "halvex_register: cannot find the path registry: " << error << "\n";
        return kExitFailed;
    }
    if (!ReadRegistryFile(registry.file, registry.state, error)) {
        err << "halvex_register: " << error << "\n";
        return kExitFailed;
    }
    if (!ParsePathRegistry(registry.state.bytes, registry.root, error)) {
        err << "halvex_register: cannot parse " << registry.file.u8string() << ": " << error
            << "\nhalvex_register: the file is left as it is; repair or remove it, then run this again\n";
        return kExitUnparsable;
    }
    return kExitOk;
}

void ReportSweep(const sRegistryEdit& edit, std::ostream& out) {
    for (const std::string& stale : edit.removedStale) {
        out << "removed stale registration " << stale << " (that folder no longer holds the driver)\n";
    }
    for (const std::string& copy : edit.otherCopies) {
        out << "note: another copy of the driver is also registered: " << copy << "\n";
    }
}

int Save(const sLoadedRegistry& registry, std::ostream& out, std::ostream& err) {
    std::string error;
    if (!WriteRegistryFile(registry.file, registry.state, SerializePathRegistry(registry.root), error)) {
        err << "halvex_register: " << error << "; the registry is unchanged\n";
        return kExitFailed;
    }
    if (registry.state.exists) out << "previous registry kept as " << BackupFile(registry.file).u8string() << "\n";
    return kExitOk;
}

int Install(const fs::path& folderArgument, std::ostream& out, std::ostream& err) {
    const std::string folder = AbsoluteFolder(folderArgument);
    std::string error;
    const std::string name = ManifestName(fs::u8path(folder), error);
    if (name.empty()) {
        err << "halvex_register: " << error << "\n";
        return kExitFailed;
    }
    if (!FolderNamedAfter(folder, name)) {
        err << "halvex_register: the runtime loads a driver only from a folder named after it: " << folder
            << " holds driver \"" << name << "\"\n";
        return kExitFailed;
    }
    sLoadedRegistry registry;
    if (const int status = LoadRegistry(registry, err)) return status;
    const sRegistryEdit edit = AddDriverFolder(registry.root, folder, name, HoldsDriver);
    ReportSweep(edit, out);
    if (!edit.changed) {
        out << folder << " is already registered in " << registry.file.u8string() << "\n";
        return kExitOk;
    }
    if (const int status = Save(registry, out, err)) return status;
    out << "registered " << folder << " in " << registry.file.u8string() << "\n";
    return kExitOk;
}

int Remove(const fs::path& folderArgument, std::ostream& out, std::ostream& err) {
    const std::string folder = AbsoluteFolder(folderArgument);
    std::string ignored;
    std::string name = ManifestName(fs::u8path(folder), ignored);
    if (name.empty()) name = fs::u8path(folder).filename().u8string();
    sLoadedRegistry registry;
    if (const int status = LoadRegistry(registry, err)) return status;
    if (!registry.state.exists) {
        out << folder << " is not registered (there is no " << registry.file.u8string() << ")\n";
        return kExitOk;
    }
    const sRegistryEdit edit = RemoveDriverFolder(registry.root, folder, name, HoldsDriver);
    ReportSweep(edit, out);
    if (!edit.changed) {
        out << folder << " is not registered in " << registry.file.u8string() << "\n";
        return kExitOk;
    }
    if (const int status = Save(registry, out, err)) return status;
    if (edit.wasListed) out << "unregistered " << folder << " from " << registry.file.u8string() << "\n";
    return kExitOk;
}

void ListFolders(const Json& root, const char* key, const char* overrideVariable, std::ostream& out) {
    if (const auto value = EnvironmentValue(overrideVariable)) {
        std::error_code ec;
        const bool exists = fs::is_directory(fs::u8path(*value), ec);
        out << key << ": " << *value << (exists ? " (exists)" : " (missing)") << " in use: " << overrideVariable
            << " names it\n";
    }
    const std::vector<std::string> entries = StringEntries(root, key);
    if (entries.empty()) out << key << ": none named\n";
    bool first = true;
    for (const std::string& entry : entries) {
        std::error_code ec;
        const bool exists = fs::is_directory(fs::u8path(entry), ec);
        out << key << ": " << entry << (exists ? " (exists)" : " (missing)") << (first ? " in use" : "") << "\n";
        first = false;
    }
}

int Status(const fs::path& folderArgument, std::ostream& out, std::ostream& err) {
    const std::string folder = AbsoluteFolder(folderArgument);
    sLoadedRegistry registry;
    if (const int status = LoadRegistry(registry, err)) return status;
    out << "path registry: " << registry.file.u8string() << (registry.state.exists ? " (exists)" : " (missing)") << "\n";
    const bool listed = IsListed(registry.root, folder);
    out << "driver: " << folder << (listed ? " registered" : " not registered")
        << (HoldsDriver(folder) ? "" : " (the folder holds no driver)") << "\n";
    ListFolders(registry.root, "runtime", "VR_OVERRIDE", out);
    ListFolders(registry.root, "config", "VR_CONFIG_PATH", out);
    ListFolders(registry.root, "log", "VR_LOG_PATH", out);
    for (const std::string& entry : StringEntries(registry.root, "external_drivers")) {
        out << "external driver: " << entry << (HoldsDriver(entry) ? " (exists)" : " (missing)") << "\n";
    }
    return listed ? kExitOk : kExitFailed;
}

}  // namespace

int RunRegister(const std::vector<std::string>& args, const fs::path& programFolder, std::ostream& out,
                std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << Usage();
        return kExitOk;
    }
    if (args.empty() || args.size() > 2 || (args[0] != "install" && args[0] != "remove" && args[0] != "status")) {
        err << Usage();
        return kExitUsage;
    }
    const fs::path folder = args.size() == 2 ? fs::u8path(args[1]) : programFolder.parent_path() / "halvex";
    if (args[0] == "install") return Install(folder, out, err);
    if (args[0] == "remove") return Remove(folder, out, err);
    return Status(folder, out, err);
}

}  // namespace halvex::pathreg
