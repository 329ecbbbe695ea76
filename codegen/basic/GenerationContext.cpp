#include "GenerationContext.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mivra {

namespace {

#ifdef _WIN32
std::string utf8FromWide(const wchar_t* text, UINT size) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), utf8.data(), length, nullptr, nullptr);
    return utf8;
}
#endif

}  // namespace

std::string GenerationContext::fullPath(const std::string& path) const {
    std::error_code error;
    auto full = std::filesystem::absolute(path, error);
    return error ? path : full.string();
}

#ifdef _WIN32
// The folders as this Windows names them (260 characters at most), as UTF-8
// like every other text of the run.
std::string GenerationContext::windowsDirectory() const {
    wchar_t folder[MAX_PATH];
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? utf8FromWide(folder, length) : "C:\\WINDOWS";
}

std::string GenerationContext::systemDirectory() const {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? utf8FromWide(folder, length) : windowsDirectory() + "\\system32";
}
#else
std::string GenerationContext::windowsDirectory() const { return "C:\\windows"; }

std::string GenerationContext::systemDirectory() const { return windowsDirectory() + "\\system32"; }
#endif

std::string GenerationContext::timeText() const {
    if (clock) return clock();
    return ctimeText(std::time(nullptr));
}

std::unique_ptr<TextFile> createOutputFile(GenerationContext& context, const std::string& path) {
    auto file = TextFile::create(path);
    if (!file) {
        int error = errno;
        context.reportError(path, "Cannot write file");
        errno = error;
        return nullptr;
    }
    file->whenIncomplete([&context, path] { context.reportError(path, "Cannot write file"); });
    return file;
}

}  // namespace mivra
