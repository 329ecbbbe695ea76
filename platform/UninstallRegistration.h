#pragma once

#include <optional>
#include <string>

namespace mivra {

struct UninstallRegistration {
    std::string displayName;
    std::string uninstallString;
};

// The entry in the system's list of installed programs. On Windows the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product>
// with the string values "DisplayName" and "UninstallString"; on Linux the
// file $XDG_DATA_HOME/<product>/uninstall holding the same two values as
// "DisplayName=..." and "UninstallString=..." lines.
bool writeUninstallRegistration(const std::string& product, const UninstallRegistration& values);
// Removes the key with everything below it (Linux: the file, and the
// product's data folder if that is then empty). False if nothing was removed.
bool removeUninstallRegistration(const std::string& product);
std::optional<UninstallRegistration> readUninstallRegistration(const std::string& product);

}  // namespace mivra
