// UTF-8 <-> UTF-16 for the wide Windows API. Invalid input gives an empty string.
#pragma once

#include <string>

namespace halvex::platform {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text);

}  // namespace halvex::platform
