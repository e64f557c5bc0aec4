// halvex_register: registers the driver folder with the VR runtime (its path registry).
#include "path_registry_location.h"
#include "register_command.h"

#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

#if defined(_WIN32)
std::string ToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

// Paths are UTF-8 inside; the narrow argv would lose characters outside the code page.
std::vector<std::string> Arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) args.push_back(ToUtf8(wide[i]));
    if (wide) LocalFree(wide);
    return args;
}
#else
std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    SetConsoleOutputCP(CP_UTF8);
#endif
    return halvex::pathreg::RunRegister(Arguments(argc, argv), halvex::pathreg::ProgramFolder(), std::cout, std::cerr);
}
