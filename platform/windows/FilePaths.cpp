#include "FilePaths.h"

#include <io.h>
#include <windows.h>

#include "WideText.h"

namespace mivra {

std::string fullPath(const std::string& path) {
    if (path.empty()) return {};
    std::wstring wide = wideText(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        // Longer than MAX_PATH: the call said how much room it needs.
        full.assign(length, L'\0');
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length >= full.size()) return {};
    }
    if (length == 0) return {};
    full.resize(length);
    return utf8Text(full);
}

bool fileExists(const std::string& path) {
    return !path.empty() && _waccess(wideText(path).c_str(), 0) == 0;
}

}  // namespace mivra
