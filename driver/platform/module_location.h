// Where the code of this library lives on disk, so that files shipped beside it are
// found whatever the host's working folder is.
#pragma once

#include <string>

namespace halvex::platform {

// The folder of the library (or program) this function is linked into, UTF-8, with a
// trailing separator; empty when the system cannot tell.
std::string ThisModuleFolder();

}  // namespace halvex::platform
