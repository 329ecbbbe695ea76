#pragma once

#include <windows.h>

#include <string>

namespace mivra {

// Windows calls take UTF-16; the rest of Mivra holds UTF-8.
inline std::wstring wideText(const std::string& utf8) {
    if (utf8.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

inline std::string narrowText(const wchar_t* text, size_t size, UINT codePage = CP_UTF8) {
    if (!text || size == 0) return {};
    int length = WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

inline std::string utf8Text(const std::wstring& wide) { return narrowText(wide.data(), wide.size()); }

}  // namespace mivra
