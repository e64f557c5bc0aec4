// EVRInitError as text: the enumerator's name, and an English sentence for people.
#pragma once

#include <openvr.h>

#include <string>

namespace openvr_api {

// Null for a value that is no enumerator.
const char* InitErrorSymbol(vr::EVRInitError error);
// "<sentence> (<code>)"; the errors this library gives have sentences of their own,
// the others are spelt out from their names.
std::string InitErrorDescription(vr::EVRInitError error);

}  // namespace openvr_api
