#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "ProcessServices.h"

namespace mivra {

std::string ownProgramPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(path, length);
}

std::string shortPathName(const std::string& path) {
    char shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(shortPath, length);
}

std::string driveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return {};
}

bool scriptsAsBat() {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, ".cmd", &key) != ERROR_SUCCESS) return true;
    RegCloseKey(key);
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL known = GetVersionExA(&version);
#pragma GCC diagnostic pop
    return known && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

bool shellOpen(const std::string& document, const std::string& workingFolder) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, nullptr, document.c_str(), nullptr, workingFolder.c_str(), SW_SHOWNORMAL));
    return result > 32;
}

std::string homeFolder() {
    const char* profile = std::getenv("USERPROFILE");
    return profile ? profile : "";
}

void markExecutableIfProgram(const std::string&) {}

}  // namespace mivra
