#include "Uninstallation.h"

#include "UninstallPaths.h"

namespace mivra {

namespace {

std::string withoutLastSeparator(std::string folder)
{
    if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

}  // namespace

std::string refusalMessage(const std::string& uninstallerPath, UninstallSystem& system)
{
    const std::string here = installationFolderOf(uninstallerPath);
    const auto recorded = system.recordedInstallationFolder();
    if (!here.empty() && recorded && system.sameFolder(here, *recorded))
        return {};
    const std::string runsFrom = "This Uninstaller runs from " + withoutLastSeparator(here);
    if (!recorded)
        return runsFrom + ", but no installation of Mivra is registered.\nNothing has been removed.";
    return runsFrom + ", but Mivra was installed in " + withoutLastSeparator(*recorded) +
           ".\nNothing has been removed; start the Uninstaller of that folder.";
}

std::string confirmationQuestion(const std::string& installationFolder)
{
    return "Un-install Mivra from " + withoutLastSeparator(installationFolder) + "?";
}

bool mayUninstall(const std::string& uninstallerPath, UninstallSystem& system, UninstallPrompts& prompts)
{
    const std::string refusal = refusalMessage(uninstallerPath, system);
    if (!refusal.empty()) {
        prompts.refuse(refusal);
        return false;
    }
    return prompts.confirm(confirmationQuestion(installationFolderOf(uninstallerPath)));
}

bool removeInstallation(const UninstallList& list, const std::string& uninstallerPath, UninstallSystem& system)
{
    const std::string installationFolder = installationFolderOf(uninstallerPath);
    if (installationFolder.empty() || !refusalMessage(uninstallerPath, system).empty())
        return false;

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
    return true;
}

}  // namespace mivra
