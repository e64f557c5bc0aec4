// Enumerator names of the error values that vrhost and its client library both report.
#pragma once

namespace vrhost::link {

// The name of an EVRSettingsError value, "Unknown settings error" for any other.
const char* SettingsErrorName(int error);
// The name of an ETrackedPropertyError value, "TrackedProp_Unknown" for any other.
const char* PropertyErrorName(int error);

}  // namespace vrhost::link
