#include <windows.h>

#include <vector>

#include "UninstallRegistration.h"

namespace mivra {

namespace {

const char* const uninstallKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool setString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::optional<std::string> queryString(HKEY key, const char* name) {
    char buffer[1024];
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    buffer[size] = '\0';
    return std::string(buffer);
}

// Deletes a key with everything below it: subkeys collected first (names of
// up to 63 characters), then each deleted the same way, then the key.
bool deleteKeyTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        RegDeleteKeyA(parent, name.c_str());
        return true;
    }
    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        char subkey[64];
        DWORD length = sizeof subkey;
        if (RegEnumKeyExA(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(subkey, length);
    }
    for (const auto& subkey : subkeys) deleteKeyTree(key, subkey);
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

// Windows runs the value as a command line: unquoted, a folder with blanks
// ("C:\Program Files\...") would let C:\Program.exe run instead.
std::string quotedCommand(const std::string& path) { return "\"" + path + "\""; }

std::string unquotedCommand(const std::string& command) {
    if (command.size() >= 2 && command.front() == '"' && command.back() == '"')
        return command.substr(1, command.size() - 2);
    return command;
}

}  // namespace

bool writeUninstallRegistration(const std::string& product, const UninstallRegistration& values) {
    HKEY key = nullptr;
    const std::string path = std::string(uninstallKeyPath) + "\\" + product;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return false;
    const bool ok = setString(key, "DisplayName", values.displayName) &&
                    setString(key, "UninstallString", quotedCommand(values.uninstallString));
    RegCloseKey(key);
    return ok;
}

bool removeUninstallRegistration(const std::string& product) {
    // One key at a time, each closed once the next is open; the root stays open.
    HKEY key = HKEY_LOCAL_MACHINE;
    for (const char* part : {"Software", "Microsoft", "Windows", "CurrentVersion", "Uninstall"}) {
        HKEY next = nullptr;
        if (RegOpenKeyExA(key, part, 0, KEY_ALL_ACCESS, &next) != ERROR_SUCCESS) {
            if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
            return false;
        }
        if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
        key = next;
    }
    const bool removed = deleteKeyTree(key, product);
    RegCloseKey(key);
    return removed;
}

std::optional<UninstallRegistration> readUninstallRegistration(const std::string& product) {
    HKEY key = nullptr;
    const std::string path = std::string(uninstallKeyPath) + "\\" + product;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    UninstallRegistration values;
    values.displayName = queryString(key, "DisplayName").value_or("");
    values.uninstallString = unquotedCommand(queryString(key, "UninstallString").value_or(""));
    RegCloseKey(key);
    return values;
}

}  // namespace mivra
