// While vrhost serves clients it registers itself in a small file in the runtime's
// state folder: its process id and the loopback port its client service listens on.
// The file is removed on exit; one left behind by a process that is gone is ignored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vrhost::link {

struct sRuntimeRegistration {
    uint32_t pid = 0;
    uint16_t port = 0;
    std::string settingsFile;  // UTF-8; the file client writes go to
};

// RuntimeStateFolder()/"vrhost.json"; empty when there is no folder.
std::filesystem::path RegistrationFile();

std::string EncodeRegistration(const sRuntimeRegistration& registration);
bool DecodeRegistration(const std::string& text, sRuntimeRegistration& registration);

// Writes this process's registration. False with a reason when it cannot.
bool WriteRegistration(const sRuntimeRegistration& registration, std::string& error);
// The registration of a running vrhost; nullopt when there is none, the file is
// unreadable, or the process it names is gone.
std::optional<sRuntimeRegistration> ReadLiveRegistration();
// Removes the file only while it still names `pid`: a newer vrhost's stays.
void RemoveRegistration(uint32_t pid);

}  // namespace vrhost::link
