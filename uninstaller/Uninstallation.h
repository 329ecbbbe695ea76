#pragma once

#include <optional>
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

    // The folder of the uninstaller that the installation registered;
    // nothing when no installation is registered.
    virtual std::optional<std::string> recordedInstallationFolder() = 0;
    // Whether two folders are one and the same on disk.
    virtual bool sameFolder(const std::string& a, const std::string& b) = 0;
};

inline constexpr const char* refusalTitle = "Uninstall Refused";

// Empty when the uninstaller runs from the installation folder recorded at
// install time; otherwise the message saying that it removes nothing. A copy
// started elsewhere would otherwise delete the listed names wherever it lies.
std::string refusalMessage(const std::string& uninstallerPath, UninstallSystem& system);

// "Un-install Mivra from <folder>?", naming the folder without its last
// separator.
std::string confirmationQuestion(const std::string& installationFolder);

// What an uninstaller front-end shows, whichever window owns it.
class UninstallPrompts {
public:
    virtual ~UninstallPrompts() = default;
    virtual bool confirm(const std::string& question) = 0;
    virtual void refuse(const std::string& message) = 0;
};

// The uninstaller's opening: the refusal when it runs anywhere but the
// recorded installation folder, otherwise the question naming the folder.
// True when the removal may start.
bool mayUninstall(const std::string& uninstallerPath, UninstallSystem& system, UninstallPrompts& prompts);

// Unless refusalMessage has something to say, removes, in this order: each listed file (with the ".bat" twin of a
// ".cmd" script) and its own subfolder once that is empty, the listed
// folders, the program group, the registration, and last the uninstaller
// itself with the installation folder. Names that are unsafe or too long
// are skipped. False when it refused and removed nothing.
bool removeInstallation(const UninstallList& list, const std::string& uninstallerPath, UninstallSystem& system);

}  // namespace mivra
