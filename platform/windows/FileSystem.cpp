#include "FileSystem.h"

#include <windows.h>

#include <io.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "WideText.h"

namespace mivra {

std::string fullPath(const std::string& path) {
    std::wstring in = wideText(path);
    DWORD length = GetFullPathNameW(in.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::vector<wchar_t> buffer(length);
    DWORD written = GetFullPathNameW(in.c_str(), length, buffer.data(), nullptr);
    if (written == 0 || written >= length) return path;
    return utf8Text(std::wstring(buffer.data(), written));
}

bool fileExists(const std::string& path) { return _waccess(wideText(path).c_str(), 0) == 0; }

bool isLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {

bool identityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& information) {
    // Backup semantics let a folder be opened for its identity.
    const HANDLE file = CreateFileW(wideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return known;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identityOf(a, first) && identityOf(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

namespace {

// "D:P(A;OICI;FA;;;<user>)": full access for the running user alone, nothing
// inherited from the parent.
std::wstring ownerOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : 1);
    std::wstring descriptor;
    wchar_t* sid = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        descriptor = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
        LocalFree(sid);
    }
    CloseHandle(token);
    return descriptor;
}

}  // namespace

std::string createPrivateFolder(const std::string& parent, const std::string& prefix) {
    const std::wstring descriptor = ownerOnlyDescriptor();
    PSECURITY_DESCRIPTOR security = nullptr;
    if (descriptor.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1, &security, nullptr))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    std::string made;
    // CreateDirectory fails on any existing name, so a name made beforehand
    // by someone else is never taken.
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
        unsigned char random[6];
        if (!RtlGenRandom(random, sizeof random)) break;
        std::string name = parent + "\\" + prefix;
        for (unsigned char byte : random) name += "abcdefghijklmnopqrstuvwxyz0123456789"[byte % 36];
        if (CreateDirectoryW(wideText(name).c_str(), &attributes)) made = name;
        else if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    LocalFree(security);
    return made;
}

std::unique_ptr<NewFile> NewFile::create(const std::string& path) {
    // CREATE_NEW fails on any existing name, a link included.
    const HANDLE file = CreateFileW(wideText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::unique_ptr<NewFile>(new NewFile(reinterpret_cast<std::intptr_t>(file)));
}

NewFile::NewFile(std::intptr_t handle) : handle_(handle) { setp(buffer_, buffer_ + sizeof buffer_); }

bool NewFile::flushBuffer() {
    const char* data = pbase();
    DWORD left = static_cast<DWORD>(pptr() - pbase());
    while (left > 0 && !failed_) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data, left, &written, nullptr) || written == 0) {
            failed_ = true;
            break;
        }
        data += written;
        left -= written;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return !failed_;
}

bool NewFile::close() {
    if (!open_) return !failed_;
    flushBuffer();
    if (!CloseHandle(reinterpret_cast<HANDLE>(handle_))) failed_ = true;
    open_ = false;
    return !failed_;
}

}  // namespace mivra
