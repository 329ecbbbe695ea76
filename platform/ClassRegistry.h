#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mivra {

// Read-only view of the COM class registry (HKEY_CLASSES_ROOT). Key paths are
// relative to the classes root, separated by "\", compared without regard to
// case. GUIDs travel in their braced text form. On Windows this is the real
// registry; on Linux the registry files of a Wine prefix.
class ClassRegistry {
public:
    virtual ~ClassRegistry() = default;

    // Names of the subkeys in index order; nothing when the key cannot be opened.
    virtual std::optional<std::vector<std::string>> subkeys(const std::string& keyPath) const = 0;
    // The key's default value; nothing when the key or the value is missing.
    virtual std::optional<std::string> defaultValue(const std::string& keyPath) const = 0;

    // CLSIDFromProgID / ProgIDFromCLSID.
    virtual std::optional<std::string> clsidFromProgId(const std::string& progId) const = 0;
    virtual std::optional<std::string> progIdFromClsid(const std::string& clsidText) const = 0;
    // QueryPathOfRegTypeLib with the user's default locale.
    virtual std::optional<std::string> typeLibraryPath(const std::string& libidText, uint16_t major,
                                                       uint16_t minor) const = 0;
    // A path as the registry stores it, as a path of this machine's file system.
    virtual std::string localPath(const std::string& registeredPath) const = 0;
    // Why there is no registry to read (no Wine prefix found), or nothing.
    virtual std::optional<std::string> unavailableReason() const { return std::nullopt; }
};

// The registry of this platform. On Linux: the Wine prefix named by
// prefixOverride, else $WINEPREFIX, else ~/.wine when it exists; with none, a
// registry in which every lookup finds nothing and that says why.
std::unique_ptr<ClassRegistry> openClassRegistry(const std::string& prefixOverride = {});

}  // namespace mivra
