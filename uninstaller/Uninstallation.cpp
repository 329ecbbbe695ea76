#include "Uninstallation.h"

#include "UninstallPaths.h"

namespace mivra {

void removeInstallation(const UninstallList& list, const std::string& uninstallerPath, UninstallSystem& system)
{
    const std::string installationFolder = installationFolderOf(uninstallerPath);
    if (installationFolder.empty())
        return;

    for (const auto& name : list.fileNames) {
        const auto installed = installedPath(installationFolder, name);
        if (!installed)
            continue;
        system.deleteFile(installed->path);
        if (const auto twin = batchTwinOf(installed->path))
            system.deleteFile(*twin);
        if (installed->ownFolder)
            system.removeFolder(*installed->ownFolder);
    }
    for (const auto& name : list.folderNames) {
        if (const auto installed = installedPath(installationFolder, name))
            system.removeFolder(installed->path);
    }
    system.deleteProgramGroup();
    system.removeRegistration();
    system.removeSelf(uninstallerPath, installationFolder);
}

}  // namespace mivra
