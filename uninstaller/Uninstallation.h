#pragma once

#include <string>
#include <vector>

namespace mivra {

// What the uninstaller keeps of the list appended to its own file: the
// installed files and the folders, in list order.
struct UninstallList {
    std::vector<std::string> fileNames;
    std::vector<std::string> folderNames;
};

// Everything the uninstallation does to the machine. Each operation fails
// silently: a file already gone or a folder not yet empty is no error, and
// the uninstallation goes on either way.
class UninstallSystem {
public:
    virtual ~UninstallSystem() = default;

    // Deletes one file (never a folder) inside the installation folder.
    virtual void deleteFile(const std::string& path) = 0;
    // Removes a folder inside the installation folder if it is empty.
    virtual void removeFolder(const std::string& path) = 0;
    virtual void deleteProgramGroup() = 0;
    virtual void removeRegistration() = 0;
    // Deletes the uninstaller's own file and then the installation folder
    // if it is empty, now or, where a running program cannot delete its
    // file, once the uninstaller has ended.
    virtual void removeSelf(const std::string& uninstallerPath, const std::string& installationFolder) = 0;
};

// Removes, in this order: each listed file (with the ".bat" twin of a
// ".cmd" script) and its own subfolder once that is empty, the listed
// folders, the program group, the registration, and last the uninstaller
// itself with the installation folder. Names that are unsafe or too long
// are skipped.
void removeInstallation(const UninstallList& list, const std::string& uninstallerPath, UninstallSystem& system);

}  // namespace mivra
