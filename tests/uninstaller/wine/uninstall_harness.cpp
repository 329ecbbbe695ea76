// Built for Windows and run under Wine: removes a small installation around
// its own file with the real Windows operations (files, program group,
// registry key with subkeys, clean-up script) and prints what it found.
#include "NativeUninstallSystem.h"
#include "UninstallPaths.h"
#include "UninstallRegistration.h"
#include "Uninstallation.h"

#include <windows.h>

#include <cstdio>

int main()
{
    char own[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    const std::string path(own, length);

    if (!mivra::writeUninstallRegistration("Mivra", {"Mivra", path}))
        return 2;
    HKEY deeper = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivra\\Parts\\Deeper",
                      &deeper) != ERROR_SUCCESS)
        return 3;
    RegCloseKey(deeper);

    mivra::UninstallList list;
    list.fileNames = {"Readme.txt", "\\help\\Index.html", "tools\\run.cmd"};
    mivra::NativeUninstallSystem system(mivra::installationFolderOf(path));
    mivra::removeInstallation(list, path, system);
    std::printf("registration %s\n", mivra::readUninstallRegistration("Mivra") ? "kept" : "removed");
    return 0;
}
