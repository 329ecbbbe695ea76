#include "FileSystem.h"

#include <windows.h>

#include <io.h>

#include <vector>

namespace mivra {

namespace {

std::wstring wide(const std::string& text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

std::string narrow(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace

std::string fullPath(const std::string& path) {
    std::wstring in = wide(path);
    DWORD length = GetFullPathNameW(in.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::vector<wchar_t> buffer(length);
    DWORD written = GetFullPathNameW(in.c_str(), length, buffer.data(), nullptr);
    if (written == 0 || written >= length) return path;
    return narrow(std::wstring(buffer.data(), written));
}

bool fileExists(const std::string& path) { return _waccess(wide(path).c_str(), 0) == 0; }

}  // namespace mivra
